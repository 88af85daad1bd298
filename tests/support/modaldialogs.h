#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <functional>

// Answers the next modal dialog from the event loop that its exec() runs:
// "handle" gets the dialog once it is the active modal widget (looking every
// 10 ms, for five seconds at most). Queue it before the call that opens it.
inline void WhenModalShows(std::function<void(QWidget&)> handle, int attemptsLeft = 500) {
  QTimer::singleShot(attemptsLeft == 500 ? 0 : 10, [handle = std::move(handle), attemptsLeft]() mutable {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      handle(*modal);
      return;
    }
    if (attemptsLeft > 0) WhenModalShows(std::move(handle), attemptsLeft - 1);
  });
}

// What a message box said, and how it was answered.
struct MessageBoxSeen {
  bool shown = false;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;  // texts of its buttons
};

// Answers the next message box by pressing "button" and records it.
inline void AnswerMessageBox(QMessageBox::StandardButton button, MessageBoxSeen* seen = nullptr) {
  WhenModalShows([button, seen](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (box == nullptr) {
      modal.close();
      return;
    }
    if (seen != nullptr) {
      seen->shown = true;
      seen->title = box->windowTitle();
      seen->text = box->text();
      seen->icon = box->icon();
      for (QAbstractButton* b : box->buttons()) seen->buttons << b->text();
    }
    if (QAbstractButton* b = box->button(button)) b->click();
    else box->close();
  });
}
