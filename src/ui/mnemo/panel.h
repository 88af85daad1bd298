#pragma once

#include <QString>
#include <QWidget>

#include "ui/elements/elementfont.h"
#include "ui/elements/tcolor.h"

// A flat panel of one colour with an optional caption centred on it: the
// diagram's launders and its link-failure sign. Child widgets show on top of
// it. Setters given the current value do nothing, not even a repaint, so the
// diagram may push colours on every tick. The owner widget owns the panel
// (Qt parent). User-interface thread only.
class TPanel : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(uint Color READ Color WRITE SetColor)
  Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

 public:
  explicit TPanel(QWidget* owner = nullptr);

  int Tag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  // The fill.
  TColor Color() const { return m_color; }
  void SetColor(TColor color);

  const QString& Caption() const { return m_caption; }
  void SetCaption(const QString& caption);
  // The caption's face, pixel size, styles and colour.
  const ElementFont& Font() const { return m_font; }
  void SetFont(const ElementFont& font);
  void SetFontColor(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_tag = 0;
  TColor m_color = clSilver;
  QString m_caption;
  ElementFont m_font;
};
