#include "platform/qt/QtPrompts.h"

#include "platform/qt/modal_dialog.h"
#include "platform/qt/signal_quit.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

#include <functional>

namespace {

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
std::string ss(const QString& s) { return s.toUtf8().toStdString(); }

// Runs fn on the interface thread and waits for it.
template <class R>
R onGuiThread(const std::function<R()>& fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return fn();
  R result{};
  QMetaObject::invokeMethod(
      app, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
  return result;
}

QMessageBox::Icon toQtIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

PromptAnswer TQtPromptService::message(const std::string& text, const std::string& caption,
                                       PromptButtons buttons, PromptIcon icon) {
  // Once a termination signal asked the program to end, nobody is there to click: every
  // question goes to standard error and takes its safe answer.
  if (t_termSignalReceived()) return t_consolePrompts().message(text, caption, buttons, icon);
  return onGuiThread<PromptAnswer>([&] {
    QMessageBox box(toQtIcon(icon), qs(caption), qs(text));
    box.setTextFormat(Qt::PlainText);  // the texts are shown as written, never as markup
    QMessageBox::StandardButtons std;
    QMessageBox::StandardButton escape = QMessageBox::NoButton;
    switch (buttons) {
      case PromptButtons::Ok: std = QMessageBox::Ok; escape = QMessageBox::Ok; break;
      case PromptButtons::OkCancel: std = QMessageBox::Ok | QMessageBox::Cancel; escape = QMessageBox::Cancel; break;
      case PromptButtons::YesNo: std = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
      case PromptButtons::YesNoCancel:
        std = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        escape = QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(std);
    box.setEscapeButton(escape);
    t_execModal(box);
    switch (box.standardButton(box.clickedButton())) {
      case QMessageBox::Ok: return PromptAnswer::Ok;
      case QMessageBox::Yes: return PromptAnswer::Yes;
      case QMessageBox::No: return PromptAnswer::No;
      case QMessageBox::Cancel: return PromptAnswer::Cancel;
      default: break;
    }
    // Closed without a button: the escape answer.
    if (escape == QMessageBox::Ok) return PromptAnswer::Ok;
    if (escape == QMessageBox::No) return PromptAnswer::No;
    return PromptAnswer::Cancel;
  });
}

int TQtPromptService::choose(const std::string& text, const std::string& caption,
                             const std::vector<std::string>& buttonTexts) {
  if (t_termSignalReceived()) return t_consolePrompts().choose(text, caption, buttonTexts);
  return onGuiThread<int>([&] {
    QMessageBox box(QMessageBox::Question, qs(caption), qs(text));
    box.setTextFormat(Qt::PlainText);
    std::vector<QAbstractButton*> added;
    for (const std::string& t : buttonTexts) added.push_back(box.addButton(qs(t), QMessageBox::ActionRole));
    t_execModal(box);
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < added.size(); ++i)
      if (added[i] == clicked) return static_cast<int>(i);
    return -1;
  });
}

std::vector<std::string> TQtPromptService::openFiles(const std::string& caption,
                                                     const std::string& filter, bool multiSelect) {
  if (t_termSignalReceived()) return {};
  return onGuiThread<std::vector<std::string>>([&] {
    QFileDialog dlg(nullptr, qs(caption), QString(), qs(filter));
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    std::vector<std::string> out;
    if (t_execModal(dlg) != QDialog::Accepted) return out;
    for (const QString& f : dlg.selectedFiles()) out.push_back(ss(f));
    return out;
  });
}

std::string TQtPromptService::saveFile(const std::string& caption, const std::string& filter,
                                       const std::string& suggestedName) {
  if (t_termSignalReceived()) return {};
  return onGuiThread<std::string>([&] {
    QFileDialog dlg(nullptr, qs(caption), QString(), qs(filter));
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!suggestedName.empty()) dlg.selectFile(qs(suggestedName));
    if (t_execModal(dlg) != QDialog::Accepted) return std::string();
    const QStringList files = dlg.selectedFiles();
    return files.isEmpty() ? std::string() : ss(files.front());
  });
}

bool TQtPromptService::chooseColor(unsigned char rgb[3]) {
  if (t_termSignalReceived()) return false;
  return onGuiThread<bool>([&] {
    QColorDialog dlg(QColor(rgb[0], rgb[1], rgb[2]));
    dlg.setOption(QColorDialog::DontUseNativeDialog, true);
    dlg.setWindowTitle(QString::fromUtf8("カラーダイアログ"));
    // Custom colours: red, green, blue, then black.
    QColorDialog::setCustomColor(0, QColor(255, 0, 0));
    QColorDialog::setCustomColor(1, QColor(0, 255, 0));
    QColorDialog::setCustomColor(2, QColor(0, 0, 255));
    for (int i = 3; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, QColor(0, 0, 0));
    dlg.move(100, 100);
    if (t_execModal(dlg) != QDialog::Accepted) return false;
    const QColor c = dlg.selectedColor();
    rgb[0] = static_cast<unsigned char>(c.red());
    rgb[1] = static_cast<unsigned char>(c.green());
    rgb[2] = static_cast<unsigned char>(c.blue());
    return true;
  });
}
