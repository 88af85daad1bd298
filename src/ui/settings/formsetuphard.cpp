#include "ui/settings/formsetuphard.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "configuration/config.h"
#include "console/consolecontroller.h"
#include "station/commandset.h"

struct TFormSetupHard::SignalPageNames {
  const char16_t* Sheet;
  const char16_t* Caption;
  const char16_t* Section1;
  const char16_t* Section2;
  const char16_t* DeviceNumber;
  const char16_t* DeviceCaption;
  const char16_t* SignalName;
  const char16_t* Chanel;
  const char16_t* ChanelCaption;
  const char16_t* AverageSize;  // nullptr: no averaging
  const char16_t* Grid;
  const char16_t* FirstColumn;
  const char16_t* SecondColumn;
  const char16_t* Add;
  const char16_t* Delete;
  const char16_t* Apply;
};

namespace {

const QStringList kPortChoices = {u"COM1"_qs, u"COM2"_qs, u"COM3"_qs, u"COM4"_qs, u"COM5"_qs,
                                  u"COM6"_qs, u"COM7"_qs, u"COM8"_qs, u"COM9"_qs};
const QStringList kSpeedChoices = {u"9600"_qs,  u"14400"_qs, u"19200"_qs,
                                   u"38400"_qs, u"57600"_qs, u"115200"_qs};
const QStringList kChanelChoices = {u"0"_qs, u"1"_qs, u"2"_qs, u"3"_qs, u"4"_qs, u"5"_qs, u"6"_qs, u"7"_qs};
const QStringList kAverageChoices = {u"1"_qs, u"5"_qs, u"10"_qs, u"15"_qs, u"30"_qs, u"60"_qs, u"120"_qs};

// Module values first on the input page, physical values first on the
// output page: each grid reads in the direction its table converts.
const TFormSetupHard::SignalPageNames kAdcNames = {
    u"TabSheetAdc",    u"Аналоговый ввод",       u"RadioButtonSection1",  u"RadioButtonSection2",
    u"Edit7017DevNum", u"№ устройства I-7017: ", u"ComboBoxSignalName",   u"ComboBoxChanel",
    u"Канал ввода:",   u"ComboBoxAverageLen",    u"StringGridCalibrEdit", u"Апп. значение",
    u"Физ. величина",  u"ButAddRecord",          u"ButDelRecord",         u"ButSaveCalibr"};
const TFormSetupHard::SignalPageNames kDacNames = {u"TabSheetDac",
                                                   u"Аналоговый вывод",
                                                   u"RadioButtonDAC_section1",
                                                   u"RadioButtonDAC_section2",
                                                   u"Edit7024DevNum",
                                                   u"№ устройства I-7024: ",
                                                   u"ComboBoxDacSignalName",
                                                   u"ComboBoxDacChanel",
                                                   u"Канал вывода:",
                                                   nullptr,
                                                   u"StringGridDacCalibrEdit",
                                                   u"Физ. величина",
                                                   u"Апп. значение",
                                                   u"ButAddDacRecord",
                                                   u"ButDelDacRecord",
                                                   u"ButSaveDacCalibr"};

QComboBox* AddComboBox(const QString& name, const QStringList& choices, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(name);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(choices);
  return box;
}

QPushButton* AddButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter while editing a cell or a box must not press a button.
  button->setAutoDefault(false);
  return button;
}

QString CellText(const QTableWidget& grid, int row, int column) {
  const QTableWidgetItem* item = grid.item(row, column);
  return item != nullptr ? item->text() : QString();
}

void SetRows(QTableWidget& grid, const CalibrationRows& rows) {
  grid.clearContents();
  grid.setRowCount(static_cast<int>(rows.size()));
  for (int row = 0; row < grid.rowCount(); ++row) {
    const QStringList& cells = rows[static_cast<size_t>(row)];
    for (int column = 0; column < 2; ++column) {
      grid.setItem(row, column, new QTableWidgetItem(column < cells.size() ? cells[column] : QString()));
    }
  }
  grid.setCurrentItem(nullptr);
}

CalibrationRows Rows(const QTableWidget& grid) {
  CalibrationRows rows;
  rows.reserve(static_cast<size_t>(grid.rowCount()));
  for (int row = 0; row < grid.rowCount(); ++row)
    rows.push_back({CellText(grid, row, 0), CellText(grid, row, 1)});
  return rows;
}

}  // namespace

TFormSetupHard::TFormSetupHard(TConsoleController& controller, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_controller(controller) {
  setObjectName(u"FormSetupHard"_qs);
  setWindowTitle(u"Подключение аппаратуры"_qs);
  setFixedSize(kClientWidth, kClientHeight);

  m_adc.Input = true;
  m_dac.Input = false;
  m_pages = new QTabWidget(this);
  m_pages->setObjectName(u"PageControl"_qs);
  m_pages->addTab(BuildLinkPage(), u"&1 Параметры связи"_qs);
  m_pages->addTab(BuildSignalPage(m_adc, kAdcNames), QString::fromUtf16(kAdcNames.Caption));
  m_pages->addTab(BuildSignalPage(m_dac, kDacNames), QString::fromUtf16(kDacNames.Caption));
  connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) {
    if (m_pages->widget(index) == m_adc.Sheet) FillSignalPage(m_adc);
    if (m_pages->widget(index) == m_dac.Sheet) FillSignalPage(m_dac);
  });

  auto* buttonContinue = AddButton(u"ButContinue"_qs, u"Продолжить"_qs, this);
  connect(buttonContinue, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttonCancel = AddButton(u"ButCancel"_qs, u"Отеменить"_qs, this);
  connect(buttonCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(buttonContinue);
  buttons->addWidget(buttonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_pages, 1);
  layout->addLayout(buttons);

  // Placed once: moving the window explicitly also keeps the dialog from
  // re-centring itself over its parent when it is shown.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

QWidget* TFormSetupHard::BuildLinkPage() {
  auto* page = new QWidget;
  page->setObjectName(u"TabSheetLink"_qs);
  auto* layout = new QVBoxLayout(page);
  const auto addLine = [&](const QString& caption, const QString& portName, const QString& speedName,
                           QComboBox*& port, QComboBox*& speed) {
    auto* group = new QGroupBox(caption, page);
    auto* line = new QHBoxLayout(group);
    port = AddComboBox(portName, kPortChoices, group);
    speed = AddComboBox(speedName, kSpeedChoices, group);
    line->addWidget(port, 1);
    line->addWidget(speed, 1);
    layout->addWidget(group);
  };
  addLine(u"Связь с главным компьютером"_qs, u"ComboBoxPortCSB"_qs, u"ComboBoxSpeedCSB"_qs, m_portCsb,
          m_speedCsb);
  addLine(u"Устройства вывода"_qs, u"ComboBoxPortWrite"_qs, u"ComboBoxPortWriteSpeed"_qs, m_portWrite,
          m_speedWrite);
  addLine(u"Устройства ввода"_qs, u"ComboBoxPortRead"_qs, u"ComboBoxPortReadSpeed"_qs, m_portRead,
          m_speedRead);
  layout->addStretch(1);

  auto* apply = AddButton(u"ButApplyLink"_qs, u"Применить"_qs, page);
  connect(apply, &QPushButton::clicked, this, &TFormSetupHard::ButApplyLinkClick);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(apply);
  layout->addLayout(buttons);
  return page;
}

QWidget* TFormSetupHard::BuildSignalPage(SignalPage& page, const SignalPageNames& names) {
  auto* sheet = new QWidget;
  sheet->setObjectName(QString::fromUtf16(names.Sheet));
  page.Sheet = sheet;

  page.Section1 = new QRadioButton(u"Секция №1"_qs, sheet);
  page.Section1->setObjectName(QString::fromUtf16(names.Section1));
  page.Section1->setChecked(true);
  page.Section2 = new QRadioButton(u"Секция №2"_qs, sheet);
  page.Section2->setObjectName(QString::fromUtf16(names.Section2));
  for (QRadioButton* radio : {page.Section1, page.Section2}) {
    connect(radio, &QRadioButton::toggled, this, [this, &page](bool checked) {
      if (checked) FillSignalPage(page);
    });
  }
  auto* sections = new QHBoxLayout;
  sections->addWidget(page.Section1);
  sections->addWidget(page.Section2);
  sections->addStretch(1);

  page.DeviceNumber = new QLineEdit(sheet);
  page.DeviceNumber->setObjectName(QString::fromUtf16(names.DeviceNumber));
  page.SignalName = new QComboBox(sheet);
  page.SignalName->setObjectName(QString::fromUtf16(names.SignalName));
  connect(page.SignalName, &QComboBox::currentIndexChanged, this, [this, &page] { FillSignal(page); });
  page.Chanel = AddComboBox(QString::fromUtf16(names.Chanel), kChanelChoices, sheet);
  auto* fields = new QFormLayout;
  fields->addRow(QString::fromUtf16(names.DeviceCaption), page.DeviceNumber);
  fields->addRow(u"Название сигнала:"_qs, page.SignalName);
  fields->addRow(QString::fromUtf16(names.ChanelCaption), page.Chanel);
  if (names.AverageSize != nullptr) {
    page.AverageSize = AddComboBox(QString::fromUtf16(names.AverageSize), kAverageChoices, sheet);
    fields->addRow(u"Усреднение, сек:"_qs, page.AverageSize);
  }

  auto* left = new QVBoxLayout;
  left->addLayout(sections);
  left->addLayout(fields);
  left->addStretch(1);

  page.Grid = new QTableWidget(0, 2, sheet);
  page.Grid->setObjectName(QString::fromUtf16(names.Grid));
  page.Grid->setHorizontalHeaderLabels(
      {QString::fromUtf16(names.FirstColumn), QString::fromUtf16(names.SecondColumn)});
  page.Grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  page.Grid->verticalHeader()->setVisible(false);
  // Rows as tight as a text line, so that a long table shows many points at once.
  page.Grid->verticalHeader()->setMinimumSectionSize(1);
  page.Grid->verticalHeader()->setDefaultSectionSize(page.Grid->fontMetrics().height() + 6);
  page.Grid->setSelectionMode(QAbstractItemView::SingleSelection);

  auto* add = AddButton(QString::fromUtf16(names.Add), u"Добавить"_qs, sheet);
  connect(add, &QPushButton::clicked, this, [this, &page] { AddRecordClick(page); });
  auto* remove = AddButton(QString::fromUtf16(names.Delete), u"Удалить"_qs, sheet);
  connect(remove, &QPushButton::clicked, this, [this, &page] { DelRecordClick(page); });
  page.Apply = AddButton(QString::fromUtf16(names.Apply), u"Применить"_qs, sheet);
  connect(page.Apply, &QPushButton::clicked, this, [this, &page] { SaveCalibrClick(page); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(add);
  buttons->addWidget(remove);
  buttons->addStretch(1);
  buttons->addWidget(page.Apply);

  auto* right = new QVBoxLayout;
  right->addWidget(page.Grid, 1);
  right->addLayout(buttons);

  auto* layout = new QHBoxLayout(sheet);
  layout->addLayout(left, 0);
  layout->addLayout(right, 1);
  return sheet;
}

void TFormSetupHard::showEvent(QShowEvent* event) {
  FillLinkPage();
  FillSignalPage(m_adc);
  FillSignalPage(m_dac);
  QDialog::showEvent(event);
}

void TFormSetupHard::FillLinkPage() {
  const TConfig& config = m_controller.Config();
  m_portCsb->setCurrentText(config.ServerLinkPort);
  m_speedCsb->setCurrentText(QString::number(config.LinkPortSpeed));
  m_portWrite->setCurrentText(config.HardWritePort);
  m_speedWrite->setCurrentText(QString::number(config.WritePortSpeed));
  m_portRead->setCurrentText(config.HardReadPort);
  m_speedRead->setCurrentText(QString::number(config.ReadPortSpeed));
}

int TFormSetupHard::Section(const SignalPage& page) const {
  return page.Section2->isChecked() ? 1 : 0;
}

void TFormSetupHard::FillSignalPage(SignalPage& page) {
  TConfig& config = m_controller.Core().Config();
  const int section = Section(page);
  const Setting<int>* address =
      page.Input ? InputModuleAddress(config, section) : OutputModuleAddress(config, section);
  page.DeviceNumber->setText(address != nullptr ? QString::number(*address) : QString());

  QStringList names;
  for (const TSignalSet* signal :
       SectionSignals(page.Input ? config.InputSignals : config.OutputSignals, section)) {
    names << signal->SignalName;
  }
  {
    const QSignalBlocker blocker(page.SignalName);
    page.SignalName->clear();
    page.SignalName->addItems(names);
    page.SignalName->setCurrentIndex(names.isEmpty() ? -1 : 0);
  }
  FillSignal(page);
}

void TFormSetupHard::FillSignal(SignalPage& page) {
  TConfig& config = m_controller.Core().Config();
  const TSignalSet* chosen = nullptr;
  for (const TSignalSet* signal :
       SectionSignals(page.Input ? config.InputSignals : config.OutputSignals, Section(page))) {
    if (signal->SignalName == page.SignalName->currentText()) chosen = signal;
  }
  if (chosen == nullptr) {
    page.Chanel->setCurrentIndex(-1);
    page.Chanel->setEditText(QString());
    if (page.AverageSize != nullptr) {
      page.AverageSize->setCurrentIndex(-1);
      page.AverageSize->setEditText(QString());
    }
    SetRows(*page.Grid, {QStringList{QString(), QString()}});
    page.Apply->setEnabled(false);
    return;
  }
  page.Chanel->setCurrentText(QString::number(chosen->Chanel));
  if (page.AverageSize != nullptr) page.AverageSize->setCurrentText(QString::number(chosen->AverageSize));
  SetRows(*page.Grid, CalibrationToRows(chosen->Calibration(), SystemDecimalSeparator()));
  page.Apply->setEnabled(true);
}

void TFormSetupHard::ButApplyLinkClick() {
  const LinkPageTexts texts{m_portCsb->currentText(),   m_speedCsb->currentText(),
                            m_portWrite->currentText(), m_speedWrite->currentText(),
                            m_portRead->currentText(),  m_speedRead->currentText()};
  Finish(ApplyLinkPage(m_controller.Core().Config(), texts));
}

void TFormSetupHard::AddRecordClick(SignalPage& page) {
  const int row = page.Grid->rowCount();
  page.Grid->insertRow(row);
  page.Grid->setItem(row, 0, new QTableWidgetItem);
  page.Grid->setItem(row, 1, new QTableWidgetItem);
}

void TFormSetupHard::DelRecordClick(SignalPage& page) {
  const int row = page.Grid->currentRow();
  if (row < 0) {
    ShowError(QString(), u"Строка для удаления не выбрана."_qs);
    return;
  }
  QMessageBox question(QMessageBox::Question, u"Внимание"_qs,
                       u"Удалить текущую строку из калибровочной таблицы."_qs,
                       QMessageBox::Yes | QMessageBox::No, this);
  if (question.exec() == QMessageBox::Yes) page.Grid->removeRow(row);
}

void TFormSetupHard::SaveCalibrClick(SignalPage& page) {
  SignalPageTexts texts;
  texts.Section = Section(page);
  texts.DeviceNumber = page.DeviceNumber->text();
  texts.SignalName = page.SignalName->currentText();
  texts.Chanel = page.Chanel->currentText();
  if (page.AverageSize != nullptr) texts.AverageSize = page.AverageSize->currentText();
  texts.Rows = Rows(*page.Grid);
  TConfig& config = m_controller.Core().Config();
  const QChar separator = SystemDecimalSeparator();
  Finish(page.Input ? ApplyInputPage(config, texts, separator) : ApplyOutputPage(config, texts, separator));
}

void TFormSetupHard::Finish(const HardApplyResult& result) {
  if (!result.Ok()) ShowError(u"Ошибка"_qs, result.Message);
  // The operator hears of a failed write at once; the event log has it too.
  if (result.WriteConfig && !m_controller.SaveConfig()) {
    ShowError(u"Ошибка"_qs,
              u"Не удалось сохранить настройки в файл "_qs + m_controller.Core().IniPath() + u'.');
  }
}

void TFormSetupHard::ShowError(const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, this);
  box.exec();
}
