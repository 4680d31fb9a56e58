#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal pair: the program under test opens the slave end by its path as its
// serial port, and the test plays the client on the master end.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int slaveFd() const { return m_slave; }

    void write(const QByteArray &bytes);
    // Reads until `count` bytes have arrived or the time is up, running the Qt event loop
    // meanwhile so that a program in the same thread can answer.
    QByteArray read(int count, int timeoutMs = 3000);
    // Everything that arrives within the given time.
    QByteArray readAvailable(int waitMs);

    void closeMaster();
    void closeSlave();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
