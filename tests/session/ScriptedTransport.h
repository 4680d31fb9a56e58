#pragma once

#include "session/Transport.h"

// A transport the test drives: it delivers bytes as if a client sent them and keeps what the
// session writes.
class ScriptedTransport : public tqx::Transport
{
public:
    bool open(QString *) override { return m_open = true; }
    bool close(QString *) override
    {
        m_open = false;
        return true;
    }
    bool isOpen() const override { return m_open; }
    QByteArray readAll() override { return std::exchange(m_pending, {}); }
    bool write(const QByteArray &bytes, QString *errorText) override
    {
        if (refuseWrites) {
            *errorText = QStringLiteral("the line is gone");
            return false;
        }
        written += bytes;
        return true;
    }
    bool canDeliver() const override { return m_open && !clientGone; }
    QString description() const override { return QStringLiteral("scripted"); }
    bool dropClient() override
    {
        ++drops;
        return true;
    }

    void deliver(const QByteArray &bytes)
    {
        m_pending += bytes;
        emit readyRead();
    }

    QByteArray written;
    bool refuseWrites = false;
    bool clientGone = false; // open, but nobody to send replies to
    int drops = 0; // the times the session dropped the client's connection

private:
    bool m_open = false;
    QByteArray m_pending;
};
