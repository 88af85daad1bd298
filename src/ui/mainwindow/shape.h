#pragma once

#include <QWidget>
#include <cstdint>

// A filled circle with a thin frame, as the state indicator of the tool bar
// uses it. The colour is a 0x00BBGGRR value. User-interface thread only.
class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(uint BrushColor READ BrushColor WRITE SetBrushColor)

 public:
  explicit TShape(QWidget* owner = nullptr);
  uint32_t BrushColor() const { return m_brushColor; }
  // Repaints only when the colour changes.
  void SetBrushColor(uint32_t color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint32_t m_brushColor = 0xC0C0C0;  // clSilver
};
