// A static text that tells when it is tapped, like the TYPE display.
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace velkor {

class ClickableLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            emit clicked();
        }
        QLabel::mousePressEvent(event);
    }
};

}  // namespace velkor
