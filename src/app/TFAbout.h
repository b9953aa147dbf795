#pragma once

#include <QDialog>

#include <functional>

// The About box: the product's name, version, icon and a link to its site.
class TFAbout : public QDialog {
  Q_OBJECT
public:
  TFAbout(QWidget *parent, const QString &version, const QString &site);
  // The site link was clicked.
  std::function<void()> OnOpenSite;
};
