#include "app/TFAbout.h"

#include "app/TFConfig.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

TFAbout::TFAbout(QWidget *parent, const QString &version, const QString &site) : QDialog(parent) {
  setWindowTitle("About Tallisyn 2");
  setWindowIcon(TFConfig::ProgramIcon());
  auto *icon = new QLabel(this);
  icon->setObjectName("IIcon");
  icon->setPixmap(QPixmap::fromImage(TFConfig::IconImage(96)));
  auto *name = new QLabel("<b><big>Tallisyn 2</big></b>", this);
  name->setObjectName("LProductName");
  auto *ver = new QLabel("Version " + version, this);
  ver->setObjectName("LVersion");
  auto *link = new QLabel(QString("<a href=\"site\">%1</a>").arg(site.toHtmlEscaped()), this);
  link->setObjectName("LSite");
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link, &QLabel::linkActivated, this, [this] {
    if (OnOpenSite)
      OnOpenSite();
  });
  auto *texts = new QVBoxLayout;
  texts->addWidget(name);
  texts->addWidget(ver);
  texts->addWidget(new QLabel("Keyring inserts with your pictures and words.", this));
  texts->addWidget(link);
  texts->addStretch();
  auto *row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(texts, 1);
  auto *box = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(box);
}
