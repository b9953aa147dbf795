#pragma once

#include <QStringList>

// The texts of the program's fixed dialogs, with the product's name put
// in.
namespace DialogTexts {
QStringList NoTemplates();
QStringList PaperType();
QStringList PrintingTips();
QStringList Terms();
} // namespace DialogTexts
