#pragma once

#include <QMainWindow>

// The main designer window. For now the frame every later window part
// hangs in.
class TFMain : public QMainWindow {
  Q_OBJECT
public:
  explicit TFMain(QWidget *parent = nullptr);
};
