#pragma once
// A label that acts as a link: it takes the keyboard focus, Enter or Space
// activates it as a click does, and a screen reader hears a link it can
// press. The mouse side (colours, cursor, clicks) stays with its window.

#include <QLabel>

namespace zorv {

class LinkLabel : public QLabel {
    Q_OBJECT

  public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void activated();

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
};

} // namespace zorv
