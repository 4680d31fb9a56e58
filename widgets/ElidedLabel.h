#pragma once

#include <QLabel>

namespace tqx {

// A one-line label that gives way when room is short: it shrinks to a few characters, shows as
// much of its text as fits with "…" at the end, and has its whole text as its tooltip then.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The text as it is shown at the label's width now.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateToolTip();
};

} // namespace tqx
