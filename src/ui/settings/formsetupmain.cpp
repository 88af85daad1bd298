#include "ui/settings/formsetupmain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "common/formatfloat.h"
#include "common/inifile.h"
#include "configuration/config.h"
#include "configuration/settingstable.h"
#include "configuration/signaledit.h"
#include "console/consolecontroller.h"
#include "storage/database.h"
#include "storage/databasethread.h"
#include "storage/eventlog.h"
#include "ui/common/shift.h"
#include "ui/settings/shellentry.h"

namespace {

const QString kErrorTitle = u"Ошибка"_qs;
const QString kConstantFormat = QStringLiteral("###0.####");
constexpr int kHoursPerDay = 24;
constexpr int kMaxShiftDays = 3;
constexpr int kConstRowHeight = 22;
constexpr int kShiftButtonWidth = 28;
constexpr int kShiftValueWidth = 48;

QChar DecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.isEmpty() ? QChar(u'.') : point.front();
}

QString FormatConstant(double value) {
  TFormatSettings settings = DefaultFormatSettings();
  settings.DecimalSeparator = DecimalSeparator();
  return FormatFloat(kConstantFormat, value, settings);
}

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.exec();
}

QPushButton* NewButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  // Enter in an edit box must not close the dialog or apply a page behind
  // the operator's back.
  button->setAutoDefault(false);
  return button;
}

QCheckBox* NewCheckBox(const QString& name, const QString& caption, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  return box;
}

QLineEdit* NewEdit(const QString& name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  return edit;
}

// The page's apply button at its bottom right.
void AddApplyButton(QVBoxLayout* layout, QPushButton* button) {
  layout->addStretch(1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(button);
  layout->addLayout(row);
}

}  // namespace

TFormSetupMain::TFormSetupMain(TConsoleController& controller, QWidget* parent)
    : QDialog(parent), m_controller(controller) {
  setObjectName(QStringLiteral("FormSetupMain"));
  setWindowTitle(u"Общие настройки"_qs);
  setFixedSize(kClientWidth, kClientHeight);

  auto* pages = new QTabWidget(this);
  pages->setObjectName(QStringLiteral("PageControl"));
  pages->addTab(CreateMySQLPage(), u"Связь с MySQL сервером"_qs);
  pages->addTab(CreateSystemPage(), u"Системные"_qs);
  pages->addTab(CreateConstPage(), u"Константы для расчетов"_qs);

  QPushButton* close = NewButton(QStringLiteral("ButClose"), u"Закрыть"_qs, this);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(close);
  layout->addLayout(bottom);

  m_timerTest = new QTimer(this);
  m_timerTest->setObjectName(QStringLiteral("TimerTest"));
  m_timerTest->setInterval(kTestCheckIntervalMs);
  connect(m_timerTest, &QTimer::timeout, this, &TFormSetupMain::CheckConnectionTest);

  FillControls();

  // Placed once, so that showing it does not centre it over its parent.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2, area.y() + (area.height() - kClientHeight) / 2);
  }
}

TFormSetupMain::~TFormSetupMain() {
  EndConnectionTest();
}

QWidget* TFormSetupMain::CreateMySQLPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheetMySQL"));
  m_editHost = NewEdit(QStringLiteral("EditMySQL_Host"), page);
  m_editLogin = NewEdit(QStringLiteral("EditMySQL_Login"), page);
  m_editPassword = NewEdit(QStringLiteral("EditMySQL_Password"), page);
  m_editPassword->setEchoMode(QLineEdit::Password);
  m_editPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 36;"));  // '$'
  m_checkSavePassword = NewCheckBox(QStringLiteral("CheckBoxSavePassword"), u"Запоминать пароль"_qs, page);
  m_checkLanServer =
      NewCheckBox(QStringLiteral("CheckBoxLanServer"), u"Разрешить доступ по локальной сети"_qs, page);
  m_butTest =
      NewButton(QStringLiteral("ButMySQL_Test"), u"Протестировать параметры MySQL соединения"_qs, page);
  QPushButton* apply = NewButton(QStringLiteral("ButApplyMySQLPage"), u"Принять изменения"_qs, page);
  connect(m_butTest, &QPushButton::clicked, this, &TFormSetupMain::ButMySQL_TestClick);
  connect(apply, &QPushButton::clicked, this, &TFormSetupMain::ButApplyMySQLPageClick);

  auto* form = new QFormLayout;
  form->addRow(u"Адрес сервера:"_qs, m_editHost);
  form->addRow(u"Имя пользователя:"_qs, m_editLogin);
  form->addRow(u"Пароль:"_qs, m_editPassword);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addWidget(m_checkSavePassword);
  layout->addWidget(m_checkLanServer);
  layout->addSpacing(8);
  layout->addWidget(m_butTest, 0, Qt::AlignLeft);
  AddApplyButton(layout, apply);
  return page;
}

QWidget* TFormSetupMain::CreateSystemPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheetSystem"));

  auto* group = new QGroupBox(u"Начало смены"_qs, page);
  group->setObjectName(QStringLiteral("GroupBoxStartChange"));
  m_labelHour = new QLabel(group);
  m_labelHour->setObjectName(QStringLiteral("StartChangeLabel"));
  m_labelDays = new QLabel(group);
  m_labelDays->setObjectName(QStringLiteral("StartChangeDayLabel"));
  auto* grid = new QGridLayout(group);
  const auto addRow = [&](int row, const QString& caption, QLabel* value, const QString& decName,
                          const QString& incName, void (TFormSetupMain::*dec)(),
                          void (TFormSetupMain::*inc)()) {
    auto* decButton = new QToolButton(group);
    decButton->setObjectName(decName);
    decButton->setText(QStringLiteral("-"));
    auto* incButton = new QToolButton(group);
    incButton->setObjectName(incName);
    incButton->setText(QStringLiteral("+"));
    decButton->setMinimumWidth(kShiftButtonWidth);
    incButton->setMinimumWidth(kShiftButtonWidth);
    value->setMinimumWidth(kShiftValueWidth);
    value->setAlignment(Qt::AlignCenter);
    value->setFrameShape(QFrame::StyledPanel);
    connect(decButton, &QToolButton::clicked, this, dec);
    connect(incButton, &QToolButton::clicked, this, inc);
    grid->addWidget(new QLabel(caption, group), row, 0);
    grid->addWidget(decButton, row, 1);
    grid->addWidget(value, row, 2);
    grid->addWidget(incButton, row, 3);
  };
  addRow(0, u"Часы:"_qs, m_labelHour, QStringLiteral("ButDecHour"), QStringLiteral("ButIncHout"),
         &TFormSetupMain::ButDecHourClick, &TFormSetupMain::ButIncHoutClick);
  addRow(1, u"Дни:"_qs, m_labelDays, QStringLiteral("ButDecDay"), QStringLiteral("ButIncDay"),
         &TFormSetupMain::ButDecDayClick, &TFormSetupMain::ButIncDayClick);
  grid->setColumnStretch(4, 1);

  m_checkReplaceShell =
      NewCheckBox(QStringLiteral("CheckBoxReplaceShell"), u"Заменять собой оболочку"_qs, page);
  m_checkShutdownOnExit =
      NewCheckBox(QStringLiteral("CheckBoxShutdownOnExit"), u"Выключать компьютер при выходе"_qs, page);
  QPushButton* apply = NewButton(QStringLiteral("ButApplySystemPage"), u"Принять изменения"_qs, page);
  connect(apply, &QPushButton::clicked, this, &TFormSetupMain::ButApplySystemPageClick);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(group);
  layout->addWidget(m_checkReplaceShell);
  layout->addWidget(m_checkShutdownOnExit);
  AddApplyButton(layout, apply);
  return page;
}

QWidget* TFormSetupMain::CreateConstPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheetConst"));

  TConfig& config = m_controller.Core().Config();
  for (int quantity = 0; quantity < kSummationConstantCount; ++quantity) {
    for (int section = 0; section < 2; ++section) {
      m_constants.push_back({SummationConstantKey(static_cast<SummationConstant>(quantity), section),
                             &config.SummationConstants[quantity][section]});
    }
  }
  m_constants.push_back({QStringLiteral("MAX_TRRS"), &config.MAX_TRRS});
  m_constants.push_back({QStringLiteral("MAX_TRRP"), &config.MAX_TRRP});
  m_constants.push_back({QStringLiteral("MAX_TRFL"), &config.MAX_TRFL});
  m_constants.push_back({QStringLiteral("MAX_ZRRS"), &config.MAX_ZRRS});
  m_constants.push_back({QStringLiteral("MAX_ZRRP"), &config.MAX_ZRRP});
  m_constants.push_back({QStringLiteral("MAX_ZRFL"), &config.MAX_ZRFL});
  m_constants.push_back({QStringLiteral("MIN_RVF"), &config.MIN_RVF});

  m_gridConst = new QTableWidget(static_cast<int>(m_constants.size()), 2, page);
  m_gridConst->setObjectName(QStringLiteral("StringGridConst"));
  m_gridConst->setHorizontalHeaderLabels({u"Константа"_qs, u"Значение"_qs});
  m_gridConst->verticalHeader()->hide();
  m_gridConst->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  m_gridConst->verticalHeader()->setDefaultSectionSize(kConstRowHeight);
  m_gridConst->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  m_gridConst->setSelectionMode(QAbstractItemView::SingleSelection);
  m_gridConst->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int row = 0; row < m_gridConst->rowCount(); ++row) {
    auto* name = new QTableWidgetItem(m_constants[static_cast<size_t>(row)].Key);
    name->setFlags(Qt::ItemIsEnabled);
    m_gridConst->setItem(row, 0, name);
    m_gridConst->setItem(row, 1, new QTableWidgetItem);
  }
  QPushButton* apply = NewButton(QStringLiteral("ButApplyConstPage"), u"Принять изменения"_qs, page);
  connect(apply, &QPushButton::clicked, this, &TFormSetupMain::ButApplyConstPageClick);

  auto* layout = new QVBoxLayout(page);
  layout->addWidget(m_gridConst, 1);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(apply);
  layout->addLayout(row);
  return page;
}

void TFormSetupMain::FillControls() {
  const TConfig& config = m_controller.Config();
  m_editHost->setText(config.Host);
  m_editLogin->setText(config.Login);
  // The stored secret is never shown, not even as its length.
  m_editPassword->clear();
  m_checkSavePassword->setChecked(config.SavePassword);
  m_checkLanServer->setChecked(config.LanServer);

  m_shiftHour = std::clamp<int>(ShiftStartHour.load(), 0, kHoursPerDay - 1);
  m_shiftDays = std::clamp<int>(ShiftStartDays.load(), 0, kMaxShiftDays);
  ShowShiftStart();
  m_checkReplaceShell->setChecked(config.ReplaceShell);
  m_checkShutdownOnExit->setChecked(config.ShutdownOnExit);

  m_constantTexts.clear();
  for (int row = 0; row < m_gridConst->rowCount(); ++row) {
    const QString text = FormatConstant(*m_constants[static_cast<size_t>(row)].Field);
    m_gridConst->item(row, 1)->setText(text);
    m_constantTexts << text;
  }
}

void TFormSetupMain::ButApplyMySQLPageClick() {
  TConfig& config = m_controller.Core().Config();
  config.LanServer = m_checkLanServer->isChecked();
  config.SavePassword = m_checkSavePassword->isChecked();
  config.Host = m_editHost->text();
  config.Login = m_editLogin->text();
  // An empty box empties the secret of this run; the file keeps the one
  // stored before, because an empty secret is never written.
  config.Password = m_editPassword->text();
  if (!m_controller.SaveConfig()) {
    ShowMessage(this, QMessageBox::Critical, kErrorTitle,
                u"Не удалось сохранить настройки в файл "_qs + m_controller.Core().IniPath() + u'.');
  }
}

void TFormSetupMain::ButMySQL_TestClick() {
  if (m_testOutcome) return;
  const DatabaseSettings settings{m_editHost->text(), m_editLogin->text(), m_editPassword->text(),
                                  m_controller.Config().Version, false};
  auto outcome = std::make_shared<TestOutcome>();
  m_testOutcome = outcome;
  m_butTest->setEnabled(false);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  // On the database thread, behind whatever the console's own connection is
  // doing there; the test connection is made, tried and removed in the job.
  m_controller.Core().Database().Post([settings, outcome](TSQLConnection&) {
    bool connected = false;
    {
      TSQLConnection test;
      connected = ConnectDatabase(test, settings, {});
    }
    std::lock_guard lock(outcome->Mutex);
    outcome->Connected = connected;
  });
  m_timerTest->start();
}

void TFormSetupMain::CheckConnectionTest() {
  if (!m_testOutcome) return;
  std::optional<bool> connected;
  {
    std::lock_guard lock(m_testOutcome->Mutex);
    connected = m_testOutcome->Connected;
  }
  if (!connected) return;
  EndConnectionTest();
  if (*connected) {
    ShowMessage(this, QMessageBox::Information, u"Тест подключения"_qs,
                u"Подключение к серверу успешно установлено."_qs);
  } else {
    ShowMessage(this, QMessageBox::Critical, kErrorTitle, u"Не удалось подключиться к MySQL серверу."_qs);
  }
}

void TFormSetupMain::EndConnectionTest() {
  m_timerTest->stop();
  if (!m_testOutcome) return;
  // The job keeps its own reference; whatever it still writes is dropped.
  m_testOutcome.reset();
  m_butTest->setEnabled(true);
  QGuiApplication::restoreOverrideCursor();
}

void TFormSetupMain::done(int result) {
  // A test still running when the dialog closes has nobody to tell.
  EndConnectionTest();
  QDialog::done(result);
}

void TFormSetupMain::ButDecHourClick() {
  m_shiftHour = (m_shiftHour + kHoursPerDay - 1) % kHoursPerDay;
  ShowShiftStart();
}

void TFormSetupMain::ButIncHoutClick() {
  m_shiftHour = (m_shiftHour + 1) % kHoursPerDay;
  ShowShiftStart();
}

void TFormSetupMain::ButDecDayClick() {
  if (m_shiftDays > 0) --m_shiftDays;
  ShowShiftStart();
}

void TFormSetupMain::ButIncDayClick() {
  if (m_shiftDays < kMaxShiftDays) ++m_shiftDays;
  ShowShiftStart();
}

void TFormSetupMain::ShowShiftStart() {
  m_labelHour->setText(QString::number(m_shiftHour) + u":00"_qs);
  m_labelDays->setText(QString::number(m_shiftDays));
}

void TFormSetupMain::ButApplySystemPageClick() {
  ShiftStartDays = m_shiftDays;
  ShiftStartHour = static_cast<uint16_t>(m_shiftHour);
  TConfig& config = m_controller.Core().Config();
  config.ShutdownOnExit = m_checkShutdownOnExit->isChecked();
  config.ReplaceShell = m_checkReplaceShell->isChecked();
  QString error;
  if (!WriteShellEntry(config.ReplaceShell, QCoreApplication::applicationFilePath(), error)) {
    AddLogMessage(error);
    ShowMessage(this, QMessageBox::Critical, kErrorTitle, error);
  }
}

void TFormSetupMain::ButApplyConstPageClick() {
  for (int row = 0; row < m_gridConst->rowCount(); ++row) {
    const QTableWidgetItem* cell = m_gridConst->item(row, 1);
    const QString text = cell != nullptr ? cell->text() : QString();
    const auto index = static_cast<size_t>(row);
    if (text == m_constantTexts[row]) continue;
    const std::optional<double> value = ParseOperatorDecimal(text, DecimalSeparator());
    const SettingEntry* entry = FindSetting(u"CONST", m_constants[index].Key);
    if (!value || (entry != nullptr && !InSettingRange(*entry, *value))) {
      ShowMessage(this, QMessageBox::Critical, kErrorTitle,
                  u"Одна или несколько констант указаны неверно."_qs);
      return;
    }
    *m_constants[index].Field = *value;
    m_constantTexts[row] = text;
  }
}
