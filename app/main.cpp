// Kestrin: segments and views 3-D volume images.
//   kestrin [volume [pitchX pitchY pitchZ [pluginOutput.tif]]]
#include <QCoreApplication>
#include <QSurfaceFormat>

#include "app/CKestrinApp.h"
#include "platform/qt/signal_quit.h"

#ifdef KESTRIN_HAVE_KVIEW
#include "view/GLSetup.h"
#endif

int main(int argc, char** argv) {
  // Shared contexts and a compatibility profile must be chosen before the application object.
#ifdef KESTRIN_HAVE_KVIEW
  t_setupGLDefaults();
#else
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat fmt;
  fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
  fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
  fmt.setVersion(2, 1);
  fmt.setDepthBufferSize(24);
  QSurfaceFormat::setDefaultFormat(fmt);
#endif
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
