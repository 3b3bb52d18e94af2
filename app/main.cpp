// Kestrin: segments and views 3-D volume images.
//   kestrin [volume [pitchX pitchY pitchZ [pluginOutput.tif]]]
#include <QCoreApplication>
#include <QSurfaceFormat>

#include "app/CKestrinApp.h"
#include "platform/qt/signal_quit.h"

#include "view/GLSetup.h"

int main(int argc, char** argv) {
  // Shared contexts and a compatibility profile must be chosen before the application object.
  t_setupGLDefaults();
  CKestrinApp app(argc, argv);
  if (!app.InitInstance()) {
    app.ExitInstance();
    return 1;
  }
  // A signal that arrived during start-up has already asked the program to end.
  const int rc = t_termSignalReceived() ? 0 : app.exec();
  const int exitRc = app.ExitInstance();
  return rc != 0 ? rc : exitRc;
}
