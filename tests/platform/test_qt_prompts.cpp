// The Qt prompt service shows the exact texts and buttons it is given and answers with what the
// user pressed.  Dialogs are answered from a timer through the active modal widget.
#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "platform/qt/QtPrompts.h"

namespace {

// Calls fn with the first modal widget that appears (polling, so it works however the dialog
// is started).
void whenModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer();
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start();
}

QAbstractButton* buttonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons())
    if (b->text().remove('&') == text) return b;
  return nullptr;
}

}  // namespace

TEST(QtPrompts, MessageShowsExactTextAndCaptionAndReturnsPressedButton) {
  TQtPromptService prompts;
  const std::string text = "Kestrin runs as MUXA plug-in.\n Kestrinを終了すると領域分割結果が自動的にMUXAへ渡されます.";
  QString seenText, seenTitle;
  int buttonCount = 0;
  whenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    seenText = box->text();
    seenTitle = box->windowTitle();
    buttonCount = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::No)->click();
  });
  const PromptAnswer a = prompts.message(text, "Kestrin", PromptButtons::YesNo, PromptIcon::Question);
  EXPECT_EQ(a, PromptAnswer::No);
  EXPECT_EQ(seenText.toStdString(), text);
  EXPECT_EQ(seenTitle.toStdString(), "Kestrin");
  EXPECT_EQ(buttonCount, 2);

  // Markup-like text is shown as written.
  whenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    seenText = box->text();
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(prompts.message("<b>a</b> < b", "c", PromptButtons::Ok, PromptIcon::Information), PromptAnswer::Ok);
  EXPECT_EQ(seenText.toStdString(), "<b>a</b> < b");
}

TEST(QtPrompts, EscapeGivesTheSafeAnswer) {
  TQtPromptService prompts;
  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(prompts.message("q", "c", PromptButtons::YesNoCancel, PromptIcon::Question), PromptAnswer::Cancel);
  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(prompts.message("q", "c", PromptButtons::YesNo, PromptIcon::Question), PromptAnswer::No);
}

TEST(QtPrompts, ChooseOffersTheCallersButtonsAndReturnsTheIndex) {
  TQtPromptService prompts;
  std::vector<std::string> seen;
  whenModal([&](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    for (QAbstractButton* b : box->buttons()) seen.push_back(b->text().toStdString());
    QAbstractButton* colour = buttonWithText(box, QString::fromUtf8("カラー"));
    ASSERT_NE(colour, nullptr);
    colour->click();
  });
  const int idx = prompts.choose("grey or colour?", "Kestrin", {"グレー", "カラー"});
  EXPECT_EQ(idx, 1);
  ASSERT_EQ(seen.size(), 2u);

  // Dismissed without a button.
  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_EQ(prompts.choose("x", "y", {"a", "b"}), -1);
}

TEST(QtPrompts, FileDialogsReturnTheTypedPathsAndEmptyOnCancel) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString a = dir.filePath("a.tif"), b = dir.filePath("b.tif");
  for (const QString& p : {a, b}) {
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
  }
  TQtPromptService prompts;

  QStringList filters;
  whenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_TRUE(dlg->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dlg->fileMode(), QFileDialog::ExistingFiles);
    filters = dlg->nameFilters();
    dlg->setDirectory(dir.path());
    dlg->findChild<QLineEdit*>("fileNameEdit")->setText("\"a.tif\" \"b.tif\"");
    static_cast<QDialog*>(dlg)->accept();
  });
  std::vector<std::string> files = prompts.openFiles("Open", "volume Files (*.tif);;All (*)", true);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(QDir::cleanPath(QString::fromStdString(files[0])), QDir::cleanPath(a));
  EXPECT_EQ(QDir::cleanPath(QString::fromStdString(files[1])), QDir::cleanPath(b));
  ASSERT_EQ(filters.size(), 2);
  EXPECT_EQ(filters[0].toStdString(), "volume Files (*.tif)");

  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_TRUE(prompts.openFiles("Open", "*.tif", false).empty());

  const QString out = dir.filePath("new.ksmask2");
  whenModal([&](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
    dlg->findChild<QLineEdit*>("fileNameEdit")->setText(out);
    static_cast<QDialog*>(dlg)->accept();
  });
  const std::string saved = prompts.saveFile("Save", "kestrin mask file (*.ksmask2)", "");
  EXPECT_EQ(QDir::cleanPath(QString::fromStdString(saved)), QDir::cleanPath(out));
}

TEST(QtPrompts, ColourChooserReturnsTheChosenColourAndKeepsItOnCancel) {
  TQtPromptService prompts;
  unsigned char rgb[3] = {255, 0, 0};
  whenModal([](QWidget* w) {
    auto* dlg = qobject_cast<QColorDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(dlg->windowTitle().toStdString(), "カラーダイアログ");
    dlg->setCurrentColor(QColor(10, 20, 30));
    static_cast<QDialog*>(dlg)->accept();
  });
  ASSERT_TRUE(prompts.chooseColor(rgb));
  EXPECT_EQ(rgb[0], 10);
  EXPECT_EQ(rgb[1], 20);
  EXPECT_EQ(rgb[2], 30);

  whenModal([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  EXPECT_FALSE(prompts.chooseColor(rgb));
  EXPECT_EQ(rgb[0], 10);
}

TEST(QtPrompts, QuestionFromAWorkerThreadIsAskedOnTheInterfaceThread) {
  TQtPromptService prompts;
  QThread* boxThread = nullptr;
  whenModal([&](QWidget* w) {
    boxThread = QThread::currentThread();
    qobject_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click();
  });
  PromptAnswer answer = PromptAnswer::Cancel;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    answer = prompts.message("busy?", "Kestrin", PromptButtons::YesNo, PromptIcon::Question);
    done = true;
  });
  // The interface thread keeps its loop running while the worker waits for the answer.
  while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  worker.join();
  EXPECT_EQ(answer, PromptAnswer::Yes);
  EXPECT_EQ(boxThread, QCoreApplication::instance()->thread());
}
