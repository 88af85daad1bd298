#include "ui/mnemo/mnemolayout.h"

#include <QHash>
#include <QLabel>
#include <QPalette>
#include <QSet>
#include <QWidget>
#include <algorithm>
#include <array>
#include <functional>
#include <optional>

#include "ui/elements/arrow.h"
#include "ui/elements/conusbox.h"
#include "ui/elements/elementfont.h"
#include "ui/elements/elementpen.h"
#include "ui/elements/label.h"
#include "ui/elements/outfield.h"
#include "ui/elements/poligon.h"
#include "ui/elements/shape.h"
#include "ui/elements/tcolor.h"
#include "ui/elements/valve.h"
#include "ui/mnemo/panel.h"

namespace {

// Client pixels of the 1012 x 723 window. Section 1 lies left, section 2
// mirrors it on the right; the pipes of section 2 follow its own fields.
// Arrows are drawn first so that vessels, fields and pumps cover their ends.
constexpr MnemoElementRec kLayout[] = {
    {"TLabel", "LabelTitle", 0, 0, 1012, 31, 0,
     u"t=Мнемосхема обогащения методом флотации;font=Times New Roman,21,b;al=c"},
    {"TLabel", "LabelSection1", 20, 42, 100, 20, 0, u"t=Секция 1;font=Times New Roman,16,bu"},
    {"TLabel", "LabelSection2", 892, 42, 100, 20, 0, u"t=Секция 2;font=Times New Roman,16,bu;al=r"},
    {"TArrow", "ArrowPulp1_1", 497, 32, 11, 24, 500, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp1_2", 386, 50, 117, 11, 500, u"a=180;w=3;e=0"},
    {"TArrow", "ArrowPulp1_3", 382, 54, 11, 47, 500, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp1_4", 382, 148, 11, 21, 500, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp1_5", 386, 163, 61, 11, 500, u"a=0;w=3;e=0"},
    {"TArrow", "ArrowPulp1_6", 441, 167, 11, 31, 500, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp1_7", 441, 220, 11, 39, 500, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp1_8", 441, 281, 11, 42, 500, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp1_9", 441, 345, 11, 18, 500, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp1_10", 279, 357, 168, 11, 500, u"a=180;w=3;e=0"},
    {"TArrow", "ArrowPulp1_11", 275, 361, 11, 52, 500, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp1_12", 275, 411, 11, 15, 500, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowRP1_1", 123, 79, 11, 372, 700, u"a=-90;w=2;e=0"},
    {"TArrow", "ArrowRP1_2", 127, 445, 89, 11, 700, u"a=0;w=2;e=8"},
    {"TArrow", "ArrowZRRP1_1", 93, 274, 29, 11, 700, u"a=0;w=1;e=0"},
    {"TArrow", "ArrowZRRP1_2", 116, 254, 11, 26, 700, u"a=90;w=1;e=6"},
    {"TArrow", "ArrowRS1_1", 190, 79, 11, 354, 600, u"a=-90;w=2;e=0"},
    {"TArrow", "ArrowRS1_2", 194, 427, 22, 11, 600, u"a=0;w=2;e=8"},
    {"TArrow", "ArrowConc1_1", 388, 464, 11, 37, 800, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowConc1_2", 392, 495, 69, 11, 800, u"a=0;w=3;e=0"},
    {"TArrow", "ArrowConc1_3", 455, 499, 11, 20, 800, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowConc1_4", 425, 566, 11, 51, 800, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowConc1_5", 255, 664, 11, 37, 800, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowTail1", 284, 499, 11, 42, 900, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowFL1_1", 4, 543, 137, 11, 1000, u"a=0;w=2;e=0"},
    {"TArrow", "ArrowFL1_2", 169, 543, 22, 11, 1000, u"a=0;w=2;e=0"},
    {"TArrow", "ArrowFL1_3", 214, 543, 37, 11, 1000, u"a=0;w=2;e=0"},
    {"TArrow", "ArrowFL1_4", 245, 547, 11, 70, 1000, u"a=-90;w=2;e=8"},
    {"TArrow", "ArrowZRFL1_1", 123, 653, 78, 11, 1000, u"a=0;w=1;e=0"},
    {"TArrow", "ArrowZRFL1_2", 195, 561, 11, 98, 1000, u"a=90;w=1;e=6"},
    {"TArrow", "ArrowPulp2_1", 505, 32, 11, 24, 501, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp2_2", 509, 50, 109, 11, 501, u"a=0;w=3;e=0"},
    {"TArrow", "ArrowPulp2_3", 612, 54, 11, 47, 501, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp2_4", 612, 148, 11, 21, 501, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp2_5", 577, 163, 41, 11, 501, u"a=180;w=3;e=0"},
    {"TArrow", "ArrowPulp2_6", 573, 167, 11, 31, 501, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp2_7", 573, 220, 11, 39, 501, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp2_8", 573, 281, 11, 42, 501, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowPulp2_9", 573, 345, 11, 18, 501, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp2_10", 577, 357, 156, 11, 501, u"a=0;w=3;e=0"},
    {"TArrow", "ArrowPulp2_11", 727, 361, 11, 52, 501, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowPulp2_12", 727, 411, 11, 15, 501, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowRP2_1", 879, 79, 11, 372, 701, u"a=-90;w=2;e=0"},
    {"TArrow", "ArrowRP2_2", 796, 445, 89, 11, 701, u"a=180;w=2;e=8"},
    {"TArrow", "ArrowZRRP2_1", 890, 274, 33, 11, 701, u"a=180;w=1;e=0"},
    {"TArrow", "ArrowZRRP2_2", 886, 254, 11, 26, 701, u"a=90;w=1;e=6"},
    {"TArrow", "ArrowRS2_1", 812, 79, 11, 354, 601, u"a=-90;w=2;e=0"},
    {"TArrow", "ArrowRS2_2", 796, 427, 22, 11, 601, u"a=180;w=2;e=8"},
    {"TArrow", "ArrowConc2_1", 614, 464, 11, 37, 801, u"a=-90;w=3;e=0"},
    {"TArrow", "ArrowConc2_2", 551, 495, 69, 11, 801, u"a=180;w=3;e=0"},
    {"TArrow", "ArrowConc2_3", 547, 499, 11, 20, 801, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowConc2_4", 577, 566, 11, 51, 801, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowConc2_5", 747, 664, 11, 37, 801, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowTail2", 718, 499, 11, 42, 901, u"a=-90;w=3;e=8"},
    {"TArrow", "ArrowFL2_1", 871, 543, 137, 11, 1001, u"a=180;w=2;e=0"},
    {"TArrow", "ArrowFL2_2", 821, 543, 22, 11, 1001, u"a=180;w=2;e=0"},
    {"TArrow", "ArrowFL2_3", 761, 543, 37, 11, 1001, u"a=180;w=2;e=0"},
    {"TArrow", "ArrowFL2_4", 757, 547, 11, 70, 1001, u"a=-90;w=2;e=8"},
    {"TArrow", "ArrowZRFL2_1", 811, 653, 88, 11, 1001, u"a=180;w=1;e=0"},
    {"TArrow", "ArrowZRFL2_2", 807, 561, 11, 98, 1001, u"a=90;w=1;e=6"},
    {"TConusBox", "ConusBoxPulp1", 330, 100, 115, 49, 0, u"c=clTeal;ch=1;dw=98;wh=25;top=1;ctop=1"},
    {"TLabel", "LabelPulp1_1", 330, 101, 115, 17, 0, u"t=Исходная;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelPulp1_2", 330, 116, 115, 17, 0, u"t=пульпа;font=Times New Roman,15,b;al=c"},
    {"TConusBox", "ConusBoxFlot1", 215, 425, 148, 75, 500,
     u"c=clSilver;wc=clSilver;pen=clNavy,2;ch=60;dw=45;wh=99"},
    {"TLabel", "LabelFlot1", 215, 428, 148, 22, 0, u"t=АКП;fc=clNavy;al=c"},
    {"TValve", "Valve1", 118, 92, 20, 30, 700, u"vert=1"},
    {"TValve", "Valve2", 185, 92, 20, 30, 600, u"vert=1"},
    {"TValve", "Valve5", 140, 538, 30, 20, 1000, u""},
    {"TPoligon", "PoligonPumpRP1", 116, 229, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpRP1", 121, 234, 15, 14, 700, u""},
    {"TPoligon", "PoligonPumpRS1", 183, 140, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpRS1", 188, 145, 15, 14, 600, u""},
    {"TPoligon", "PoligonPumpFL1", 190, 536, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpFL1", 195, 541, 15, 14, 1000, u""},
    {"TOutField", "OutFieldNameRP1", 134, 130, 22, 90, 0,
     u"t=Вспениватель;al=900;pen=clBlack,1;br=clBlack;font=Times New Roman,13,b;fc=clYellow"},
    {"TOutField", "OutFieldNameRS1", 201, 180, 22, 90, 0,
     u"t=Собиратель;al=900;pen=clBlack,1;br=clBlack;font=Times New Roman,13,b;fc=clYellow"},
    {"TOutField", "OutFieldNameFL1", 10, 522, 100, 20, 0,
     u"t=Флокулянт;pen=clBlack,1;br=clBlack;font=Times New Roman,15,b;fc=clYellow"},
    {"TPanel", "PanelLaunder1", 363, 425, 60, 40, 0, u"c=clPurple"},
    {"TPanel", "PanelLaunderIn1", 4, 4, 52, 32, 701, u"c=clRed", "PanelLaunder1"},
    {"TPoligon", "PoligonLaunder1", 0, 0, 52, 32, 0,
     u"pts=0 0/0 25/50 100/100 25/100 0;pen=clYellow,1;br=clYellow", "PanelLaunderIn1"},
    {"TConusBox", "ConusBoxURFK1", 237, 616, 196, 49, 0, u"c=clSilver;ch=1;dw=98;top=1;ctop=1"},
    {"TOutField", "OutFieldURFK1", 76, 13, 43, 22, 0,
     u"f=#0.#%;pen=clBlack,1;br=clWhite;font=Times New Roman,13,b", "ConusBoxURFK1"},
    {"TLabel", "LabelFilter1", 270, 690, 150, 20, 0, u"t=На вакуум-фильтры;font=Times New Roman,15,b;al=l"},
    {"TConusBox", "ConusBoxPulp2", 560, 100, 115, 49, 0, u"c=clTeal;ch=1;dw=98;wh=25;top=1;ctop=1"},
    {"TLabel", "LabelPulp2_1", 560, 101, 115, 17, 0, u"t=Исходная;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelPulp2_2", 560, 116, 115, 17, 0, u"t=пульпа;font=Times New Roman,15,b;al=c"},
    {"TConusBox", "ConusBoxFlot2", 649, 425, 148, 75, 501,
     u"c=clSilver;wc=clSilver;pen=clNavy,2;ch=60;dw=45;wh=99"},
    {"TLabel", "LabelFlot2", 649, 428, 148, 22, 0, u"t=АКП;fc=clNavy;al=c"},
    {"TValve", "Valve3", 874, 92, 20, 30, 701, u"vert=1"},
    {"TValve", "Valve4", 807, 92, 20, 30, 601, u"vert=1"},
    {"TValve", "Valve6", 842, 538, 30, 20, 1001, u""},
    {"TPoligon", "PoligonPumpRP2", 872, 229, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpRP2", 877, 234, 15, 14, 701, u""},
    {"TPoligon", "PoligonPumpRS2", 805, 140, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpRS2", 810, 145, 15, 14, 601, u""},
    {"TPoligon", "PoligonPumpFL2", 798, 536, 25, 25, 0,
     u"pts=0 0/0 99/99 99/99 0;pen=clYellow,1;br=clYellow"},
    {"TShape", "ShapePumpFL2", 803, 541, 15, 14, 1001, u""},
    {"TOutField", "OutFieldNameRP2", 856, 130, 22, 90, 0,
     u"t=Вспениватель;al=900;pen=clBlack,1;br=clBlack;font=Times New Roman,13,b;fc=clYellow"},
    {"TOutField", "OutFieldNameRS2", 789, 180, 22, 90, 0,
     u"t=Собиратель;al=900;pen=clBlack,1;br=clBlack;font=Times New Roman,13,b;fc=clYellow"},
    {"TOutField", "OutFieldNameFL2", 902, 522, 100, 20, 0,
     u"t=Флокулянт;pen=clBlack,1;br=clBlack;font=Times New Roman,15,b;fc=clYellow"},
    {"TPanel", "PanelLaunder2", 589, 425, 60, 40, 0, u"c=clPurple"},
    {"TPanel", "PanelLaunderIn2", 4, 4, 52, 32, 701, u"c=clRed", "PanelLaunder2"},
    {"TPoligon", "PoligonLaunder2", 0, 0, 52, 32, 0,
     u"pts=0 0/0 25/50 100/100 25/100 0;pen=clYellow,1;br=clYellow", "PanelLaunderIn2"},
    {"TConusBox", "ConusBoxURFK2", 579, 616, 196, 49, 0, u"c=clSilver;ch=1;dw=98;top=1;ctop=1"},
    {"TOutField", "OutFieldURFK2", 76, 13, 43, 22, 0,
     u"f=#0.#%;pen=clBlack,1;br=clWhite;font=Times New Roman,13,b", "ConusBoxURFK2"},
    {"TLabel", "LabelFilter2", 592, 690, 150, 20, 0, u"t=На вакуум-фильтры;font=Times New Roman,15,b;al=r"},
    {"TConusBox", "ConusBoxURFK12", 426, 518, 160, 49, 0, u"c=clSilver;ch=1;dw=98;top=1;ctop=1"},
    {"TOutField", "OutFieldURFK12", 58, 13, 43, 22, 0,
     u"f=#0.#%;pen=clBlack,1;br=clWhite;font=Times New Roman,13,b", "ConusBoxURFK12"},
    {"TLabel", "LabelConc", 436, 478, 140, 18, 0, u"t=Флотоконцентрат;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelTRRP1", 15, 177, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldTRRP1", 15, 195, 80, 24, 700, u"f=###0 л/ч"},
    {"TLabel", "LabelTRRP2", 892, 177, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldTRRP2", 922, 195, 80, 24, 701, u"f=###0 л/ч"},
    {"TLabel", "LabelZRRP1", 14, 249, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldZRRP1", 14, 267, 80, 24, 700, u"f=###0 мл/т"},
    {"TLabel", "LabelZRRP2", 892, 249, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldZRRP2", 922, 267, 80, 24, 701, u"f=###0 мл/т"},
    {"TLabel", "LabelTRRS1", 272, 179, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldTRRS1", 272, 197, 80, 24, 600, u"f=###0 л/ч"},
    {"TLabel", "LabelTRRS2", 642, 180, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldTRRS2", 672, 198, 80, 24, 601, u"f=###0 л/ч"},
    {"TLabel", "LabelZRRS1", 273, 249, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldZRRS1", 273, 267, 80, 24, 600, u"f=###0 мл/т"},
    {"TLabel", "LabelZRRS2", 642, 249, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldZRRS2", 672, 267, 80, 24, 601, u"f=###0 мл/т"},
    {"TOutField", "OutFieldPLF1", 406, 197, 80, 24, 500, u"f=###0 г/л"},
    {"TOutField", "OutFieldPLF2", 538, 197, 80, 24, 501, u"f=###0 г/л"},
    {"TOutField", "OutFieldRGF1", 407, 258, 80, 24, 500, u"f=###0 т/ч"},
    {"TOutField", "OutFieldRGF2", 538, 258, 80, 24, 501, u"f=###0 т/ч"},
    {"TOutField", "OutFieldRVF1", 403, 322, 80, 24, 500, u"f=###0 м3/ч"},
    {"TOutField", "OutFieldRVF2", 538, 322, 80, 24, 501, u"f=###0 м3/ч"},
    {"TLabel", "LabelTRFL1", 45, 567, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldTRFL1", 45, 585, 80, 24, 1000, u"f=###0 л/ч"},
    {"TLabel", "LabelTRFL2", 869, 567, 110, 17, 0, u"t=Текущий расход ;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldTRFL2", 899, 585, 80, 24, 1001, u"f=###0 л/ч"},
    {"TLabel", "LabelZRFL1", 44, 628, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=l"},
    {"TOutField", "OutFieldZRFL1", 44, 646, 80, 24, 1000, u"f=###0 мл/т"},
    {"TLabel", "LabelZRFL2", 868, 628, 110, 17, 0, u"t=Удельный расход;font=Times New Roman,13,b;al=r"},
    {"TOutField", "OutFieldZRFL2", 898, 646, 80, 24, 1001, u"f=###0 мл/т"},
    {"TLabel", "LabelPLF", 462, 178, 100, 18, 0, u"t=Плотность;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelRGF", 462, 239, 100, 18, 0, u"t=Нагрузка;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelRVF", 462, 303, 100, 18, 0, u"t=Расход;font=Times New Roman,15,b;al=c"},
    {"TLabel", "LabelModeP1", 211, 86, 130, 17, 0, u"t=Режим управления;font=Times New Roman,13,b;al=c"},
    {"TOutField", "OutField_P_mode1", 231, 104, 90, 25, 0, u"font=Arial,11,b"},
    {"TLabel", "LabelModeP2", 665, 82, 130, 17, 0, u"t=Режим управления;font=Times New Roman,13,b;al=c"},
    {"TOutField", "OutField_P_mode2", 685, 100, 90, 25, 0, u"font=Arial,11,b"},
    {"TLabel", "LabelModeF1", 273, 555, 130, 17, 0, u"t=Режим управления;font=Times New Roman,13,b;al=c"},
    {"TOutField", "OutField_F_mode1", 293, 573, 90, 25, 0, u""},
    {"TLabel", "LabelModeF2", 609, 553, 130, 17, 0, u"t=Режим управления;font=Times New Roman,13,b;al=c"},
    {"TOutField", "OutField_F_mode2", 629, 571, 90, 25, 0, u""},
    {"TPanel", "PanelLinkError", 300, 376, 425, 41, 0,
     u"c=clRed;t=Сбой связи;font=Times New Roman,27,b;fc=clWhite"},
};

using Props = QHash<QString, QString>;

Props ParseProps(const QString& text) {
  Props props;
  for (const QString& item : text.split(u';', Qt::SkipEmptyParts)) {
    const qsizetype eq = item.indexOf(u'=');
    if (eq <= 0) {
      props.insert(item.trimmed(), QString());
      continue;
    }
    props.insert(item.left(eq).trimmed(), item.mid(eq + 1));
  }
  return props;
}

// Reads the properties of one row and says what did not parse.
class PropReader {
 public:
  PropReader(const MnemoElementRec& rec, QStringList* problems)
      : m_rec(rec), m_props(ParseProps(QString::fromUtf16(rec.Props))), m_problems(problems) {}

  ~PropReader() {
    for (auto it = m_props.cbegin(); it != m_props.cend(); ++it) {
      if (!m_used.contains(it.key())) Problem(u"unknown key \"%1\""_qs.arg(it.key()));
    }
  }

  PropReader(const PropReader&) = delete;
  PropReader& operator=(const PropReader&) = delete;

  bool Has(const QString& key) { return Take(key) != nullptr; }

  const QString* Text(const QString& key) { return Take(key); }

  void Int(const QString& key, const std::function<void(int)>& apply) {
    if (const QString* value = Take(key)) {
      bool ok = false;
      const int number = value->trimmed().toInt(&ok);
      if (ok)
        apply(number);
      else
        Problem(u"\"%1\" is no integer: %2"_qs.arg(key, *value));
    }
  }

  void Double(const QString& key, const std::function<void(double)>& apply) {
    if (const QString* value = Take(key)) {
      bool ok = false;
      const double number = value->trimmed().toDouble(&ok);
      if (ok)
        apply(number);
      else
        Problem(u"\"%1\" is no number: %2"_qs.arg(key, *value));
    }
  }

  void Bool(const QString& key, const std::function<void(bool)>& apply) {
    Int(key, [&](int value) { apply(value != 0); });
  }

  void Color(const QString& key, const std::function<void(TColor)>& apply) {
    if (const QString* value = Take(key)) {
      if (const auto color = ParseColor(*value))
        apply(*color);
      else
        Problem(u"\"%1\" is no colour: %2"_qs.arg(key, *value));
    }
  }

  void Pen(const QString& key, const std::function<void(const ElementPen&)>& apply) {
    if (const QString* value = Take(key)) {
      const QStringList parts = value->split(u',');
      bool ok = parts.size() == 2;
      const auto color = ok ? ParseColor(parts[0]) : std::nullopt;
      const int width = ok ? parts[1].trimmed().toInt(&ok) : 0;
      if (ok && color)
        apply(ElementPen(*color, width));
      else
        Problem(u"\"%1\" is no pen: %2"_qs.arg(key, *value));
    }
  }

  // "face,pixels[,styles]" over "font" (its colour stays).
  void Font(const QString& key, ElementFont font, const std::function<void(const ElementFont&)>& apply) {
    if (const QString* value = Take(key)) {
      const QStringList parts = value->split(u',');
      bool ok = parts.size() == 2 || parts.size() == 3;
      const int pixels = ok ? parts[1].trimmed().toInt(&ok) : 0;
      const QString styles = parts.size() == 3 ? parts[2].trimmed() : QString();
      for (const QChar style : styles) ok = ok && QStringView(u"bui").contains(style);
      if (!ok || pixels < 1) {
        Problem(u"\"%1\" is no font: %2"_qs.arg(key, *value));
        return;
      }
      font.SetName(parts[0].trimmed());
      font.SetPixelSize(pixels);
      font.SetBold(styles.contains(u'b'));
      font.SetUnderline(styles.contains(u'u'));
      font.SetItalic(styles.contains(u'i'));
      apply(font);
    }
  }

  // "x y/x y/..." as the polygon's "x; y" lines.
  void Points(const QString& key, const std::function<void(const QStringList&)>& apply) {
    if (const QString* value = Take(key)) {
      QStringList lines;
      for (const QString& corner : value->split(u'/')) {
        const QStringList xy = corner.split(u' ', Qt::SkipEmptyParts);
        if (xy.size() != 2) {
          Problem(u"\"%1\" has a bad corner: %2"_qs.arg(key, corner));
          return;
        }
        lines << xy[0] + u"; "_qs + xy[1];
      }
      apply(lines);
    }
  }

  void Problem(const QString& text) {
    if (m_problems != nullptr) *m_problems << QString::fromLatin1(m_rec.Name) + u": "_qs + text;
  }

 private:
  static std::optional<TColor> ParseColor(const QString& text) {
    const QString trimmed = text.trimmed();
    if (const auto named = TColorByName(trimmed)) return named;
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok, 0);
    if (ok && IsRgbTColor(value)) return static_cast<TColor>(value);
    return std::nullopt;
  }

  const QString* Take(const QString& key) {
    const auto it = m_props.constFind(key);
    if (it == m_props.cend()) return nullptr;
    m_used.insert(key);
    return &it.value();
  }

  const MnemoElementRec& m_rec;
  Props m_props;
  QSet<QString> m_used;
  QStringList* m_problems;
};

Qt::Alignment LabelAlignment(const QString& text) {
  if (text == u"c") return Qt::AlignCenter;
  if (text == u"r") return Qt::AlignRight | Qt::AlignVCenter;
  return Qt::AlignLeft | Qt::AlignVCenter;
}

QWidget* MakeArrow(QWidget* parent, PropReader& props, const QString& styleFile) {
  auto* arrow = new TArrow(parent);
  arrow->SetConfigName(styleFile);
  props.Double(u"a"_qs, [&](double angle) { arrow->SetAngle(angle); });
  props.Int(u"w"_qs, [&](int width) { arrow->SetArrowWidth(width); });
  props.Int(u"e"_qs, [&](int length) { arrow->SetEdgeLength(length); });
  props.Int(u"ea"_qs, [&](int angle) { arrow->SetEdgeAngle(angle); });
  return arrow;
}

QWidget* MakeOutField(QWidget* parent, PropReader& props, const QString& styleFile) {
  auto* field = new TOutField(parent);
  field->SetConfigName(styleFile);
  field->SetPen(ElementPen(clAqua, 2));
  field->SetBrushColor(clSilver);
  ElementFont font(QStringLiteral("MS Sans Serif"), 13, clNavy, true);
  props.Font(u"font"_qs, font, [&](const ElementFont& f) { font = f; });
  props.Color(u"fc"_qs, [&](TColor color) { font.SetColor(color); });
  field->SetFont(font);
  props.Pen(u"pen"_qs, [&](const ElementPen& pen) { field->SetPen(pen); });
  props.Color(u"br"_qs, [&](TColor color) { field->SetBrushColor(color); });
  props.Int(u"al"_qs, [&](int alpha) { field->SetAlpha(alpha); });
  props.Bool(u"tr"_qs, [&](bool on) { field->SetTransparent(on); });
  if (const QString* format = props.Text(u"f"_qs)) field->SetOutFormat(*format);
  if (const QString* text = props.Text(u"t"_qs)) field->SetCaption(*text);
  return field;
}

QWidget* MakeLabel(QWidget* parent, PropReader& props, const QString&) {
  auto* label = new TLabel(parent);
  if (const QString* text = props.Text(u"t"_qs)) label->setText(*text);
  props.Font(u"font"_qs, ElementFont(), [&](const ElementFont& font) { label->setFont(font.ToQFont()); });
  props.Color(u"fc"_qs, [&](TColor color) {
    QPalette palette = label->palette();
    palette.setColor(label->foregroundRole(), ColorFromTColor(color));
    label->setPalette(palette);
  });
  const QString* align = props.Text(u"al"_qs);
  label->setAlignment(LabelAlignment(align != nullptr ? *align : QString()));
  return label;
}

QWidget* MakeConusBox(QWidget* parent, PropReader& props, const QString&) {
  auto* box = new TConusBox(parent);
  props.Color(u"c"_qs, [&](TColor color) { box->SetColor(color); });
  props.Color(u"wc"_qs, [&](TColor color) { box->SetWaterColor(color); });
  props.Color(u"bc"_qs, [&](TColor color) { box->SetBackColor(color); });
  props.Pen(u"pen"_qs, [&](const ElementPen& pen) { box->SetPen(pen); });
  props.Int(u"ch"_qs, [&](int percent) { box->SetConusH(percent); });
  props.Int(u"dw"_qs, [&](int percent) { box->SetDownW(percent); });
  props.Int(u"wh"_qs, [&](int percent) { box->SetWaterH(percent); });
  props.Bool(u"top"_qs, [&](bool on) { box->SetShowTopLine(on); });
  props.Bool(u"ctop"_qs, [&](bool on) { box->SetShowConusTop(on); });
  props.Bool(u"half"_qs, [&](bool on) { box->SetHalfConus(on); });
  props.Bool(u"xf"_qs, [&](bool on) { box->SetXFlip(on); });
  return box;
}

QWidget* MakeValve(QWidget* parent, PropReader& props, const QString&) {
  auto* valve = new TValve(parent);
  props.Bool(u"vert"_qs, [&](bool on) { valve->SetVertMode(on); });
  props.Pen(u"pen"_qs, [&](const ElementPen& pen) { valve->SetPen(pen); });
  props.Color(u"br"_qs, [&](TColor color) { valve->SetBrushColor(color); });
  return valve;
}

QWidget* MakePoligon(QWidget* parent, PropReader& props, const QString& styleFile) {
  auto* poligon = new TPoligon(parent);
  poligon->SetConfigName(styleFile);
  props.Pen(u"pen"_qs, [&](const ElementPen& pen) { poligon->SetPen(pen); });
  props.Color(u"br"_qs, [&](TColor color) { poligon->SetBrushColor(color); });
  props.Bool(u"xf"_qs, [&](bool on) { poligon->SetXFlip(on); });
  props.Points(u"pts"_qs, [&](const QStringList& points) { poligon->SetPointList(points); });
  return poligon;
}

QWidget* MakeShape(QWidget* parent, PropReader& props, const QString&) {
  auto* shape = new TShape(parent);
  props.Color(u"br"_qs, [&](TColor color) { shape->SetBrushColor(color); });
  return shape;
}

QWidget* MakePanel(QWidget* parent, PropReader& props, const QString&) {
  auto* panel = new TPanel(parent);
  props.Color(u"c"_qs, [&](TColor color) { panel->SetColor(color); });
  if (const QString* text = props.Text(u"t"_qs)) panel->SetCaption(*text);
  ElementFont font = panel->Font();
  props.Font(u"font"_qs, font, [&](const ElementFont& f) { font = f; });
  props.Color(u"fc"_qs, [&](TColor color) { font.SetColor(color); });
  panel->SetFont(font);
  return panel;
}

struct ElementMaker {
  const char* Class;
  QWidget* (*Make)(QWidget* parent, PropReader& props, const QString& styleFile);
  void (*SetTag)(QWidget& element, int tag);
};

template <class T>
void SetTagOf(QWidget& element, int tag) {
  static_cast<T&>(element).SetTag(tag);
}

constexpr std::array kMakers = {
    ElementMaker{"TArrow", MakeArrow, SetTagOf<TArrow>},
    ElementMaker{"TOutField", MakeOutField, SetTagOf<TOutField>},
    ElementMaker{"TLabel", MakeLabel, SetTagOf<TLabel>},
    ElementMaker{"TConusBox", MakeConusBox, SetTagOf<TConusBox>},
    ElementMaker{"TValve", MakeValve, SetTagOf<TValve>},
    ElementMaker{"TPoligon", MakePoligon, SetTagOf<TPoligon>},
    ElementMaker{"TShape", MakeShape, SetTagOf<TShape>},
    ElementMaker{"TPanel", MakePanel, SetTagOf<TPanel>},
};

}  // namespace

std::span<const MnemoElementRec> MnemoLayout() {
  return kLayout;
}

void BuildMnemoLayout(QWidget& form, std::span<const MnemoElementRec> layout, const QString& styleFile,
                      QStringList* problems) {
  QHash<QString, QWidget*> made;
  for (const MnemoElementRec& rec : layout) {
    const QString name = QString::fromLatin1(rec.Name);
    const auto report = [&](const QString& text) {
      if (problems != nullptr) *problems << name + u": "_qs + text;
    };
    QWidget* parent = &form;
    if (rec.Parent != nullptr) {
      parent = made.value(QString::fromLatin1(rec.Parent));
      if (parent == nullptr) {
        report(u"unknown parent %1"_qs.arg(QString::fromLatin1(rec.Parent)));
        continue;
      }
    }
    const auto maker = std::find_if(kMakers.begin(), kMakers.end(),
                                    [&](const ElementMaker& m) { return qstrcmp(m.Class, rec.Class) == 0; });
    if (maker == kMakers.end()) {
      report(u"unknown class %1"_qs.arg(QString::fromLatin1(rec.Class)));
      continue;
    }
    if (made.contains(name)) report(u"name used twice"_qs);
    QWidget* element = nullptr;
    {
      PropReader props(rec, problems);
      element = maker->Make(parent, props, styleFile);
    }
    element->setObjectName(name);
    maker->SetTag(*element, rec.Tag);
    element->setGeometry(rec.Left, rec.Top, rec.Width, rec.Height);
    made.insert(name, element);
  }
}
