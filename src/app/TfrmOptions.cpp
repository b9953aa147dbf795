#include "app/TfrmOptions.h"

#include "designer/uMessages.h"
#include "designer/uOptions.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>

namespace {

QLabel *Note(const QString &text, QWidget *parent) {
  auto *label = new QLabel(text, parent);
  label->setWordWrap(true);
  QPalette pal = label->palette();
  pal.setColor(QPalette::WindowText, pal.color(QPalette::Disabled, QPalette::WindowText));
  label->setPalette(pal);
  return label;
}

} // namespace

TfrmOptions::TfrmOptions(QWidget *parent) : QDialog(parent) {
  setObjectName("frmOptions");
  setWindowTitle("Options");
  auto *grid = new QGridLayout;
  int row = 0;

  auto *moveOL = new QCheckBox("Move OL Shapes to Front", this);
  moveOL->setObjectName("CBMoveOLShapesToFront");
  moveOL->setChecked(Options->MoveOLShapesToFrontInDesignMode());
  moveOL->setVisible(false);
  connect(moveOL, &QCheckBox::clicked, this,
          [](bool on) { Options->SetMoveOLShapesToFrontInDesignMode(on); });

  auto *help = new QPushButton("Enable 'Add Shape' Help Dialogs", this);
  help->setObjectName("BEnableHelpDialogs");
  connect(help, &QPushButton::clicked, this, [] {
    Options->EnableHelpDialogs();
    Inform("Help Dialogs have been re-enabled");
  });
  grid->addWidget(help, row, 0);
  grid->addWidget(Note("Click this button to re-enable all the 'add shape' help dialogs.", this),
                  row++, 1);

  auto *thumbs = new QCheckBox("Show Template/Design Thumbnails", this);
  thumbs->setObjectName("CBShowThumbnails");
  thumbs->setChecked(Options->ShowTemplateDesignThumbnails());
  connect(thumbs, &QCheckBox::toggled, this,
          [](bool on) { Options->SetShowTemplateDesignThumbnails(on); });
  grid->addWidget(thumbs, row, 0);
  grid->addWidget(Note("Untick this if thumbnail preview causes problems.", this), row++, 1);

  auto *threaded = new QCheckBox("Use separate thread for Template/Design Preview", this);
  threaded->setObjectName("CBThreadedPreview");
  threaded->setChecked(Options->ThumbnailPreviewThreaded());
  connect(threaded, &QCheckBox::toggled, this,
          [](bool on) { Options->SetThumbnailPreviewThreaded(on); });
  grid->addWidget(threaded, row, 0);
  grid->addWidget(Note("Untick this if bigger preview causes problems, i.e. hangs.", this), row++,
                  1);

  auto *clear = new QPushButton("Clear Thumbnail Cache", this);
  clear->setObjectName("BClearThumbnailCache");
  connect(clear, &QPushButton::clicked, this, [this] { ClearThumbnailCache(); });
  grid->addWidget(clear, row, 0);
  grid->addWidget(Note("Click this button to clear the thumbnail cache.", this), row++, 1);
  grid->setColumnStretch(1, 1);

  auto *box = new QDialogButtonBox(this);
  QPushButton *ok = box->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName("BOK");
  ok->setDefault(true);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(moveOL);
  layout->addLayout(grid);
  layout->addWidget(box);
  resize(620, sizeHint().height());
}

void TfrmOptions::ClearThumbnailCache() {
  const std::string folder = Options->AppDataFolder();
  std::error_code ec;
  for (const char *name : {ThumbnailFile, ThumbnailIndexFile})
    std::filesystem::remove(std::filesystem::path(folder) / name, ec);
  Inform("Thumbnail Cache has been cleared\r\rFolder is " + folder);
}
