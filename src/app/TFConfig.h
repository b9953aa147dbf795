#pragma once

#include <QIcon>
#include <QPixmap>

#include <string>

// The program's own pictures: the icon, the start-up picture and the two
// markers of the print grid. Drawn rather than shipped, so they are sharp at
// every size.
class TFConfig {
public:
  static QImage IconImage(int size);
  static QIcon ProgramIcon();
  // Needs a running application (it draws text).
  static QPixmap StartupPicture();
  // 16 x 16: 0 printed, 1 not printed.
  static QPixmap Marker(int index);
  // Writes the icon into DIR/hicolor/NxN/apps/tallisyn.png for the theme's
  // sizes; false when a file cannot be written.
  static bool WriteIconTheme(const std::string &dir);
  static constexpr int ThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256, 512};
};
