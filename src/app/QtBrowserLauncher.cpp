#include "app/QtBrowserLauncher.h"

#include <QDesktopServices>
#include <QUrl>

bool TQtBrowserLauncher::OpenUrl(const std::string &address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  return url.isValid() && QDesktopServices::openUrl(url);
}
