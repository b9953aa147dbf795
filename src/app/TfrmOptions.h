#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

// The Options dialog: help dialogs, thumbnails and the thumbnail cache.
// Each control writes its setting the moment it changes.
class TfrmOptions : public QDialog {
  Q_OBJECT
public:
  explicit TfrmOptions(QWidget *parent = nullptr);

  // The cache's two files in the application-data folder.
  static constexpr const char *ThumbnailFile = "thumbnails.tbn";
  static constexpr const char *ThumbnailIndexFile = "thumbnails.lst";

private:
  void ClearThumbnailCache();
};
