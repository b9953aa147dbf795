#pragma once

#include <QDialog>
#include <QStringList>

class QPushButton;

// A modal dialog of lines of text, with the program icon beside them when
// asked, and a row of buttons; the answer is the index of the button
// pressed, -1 when closed otherwise.
class TFTextDialog : public QDialog {
  Q_OBJECT
public:
  TFTextDialog(QWidget *parent, const QString &caption, const QStringList &lines,
               const QStringList &buttons, int defaultButton, bool withIcon);
  int Answer() const { return FAnswer; }
  QPushButton *Button(int index) const;
  // The lines joined as the dialog shows them.
  QString Text() const;
  // Runs the dialog modally and gives the answer.
  int Ask();

private:
  QList<QPushButton *> FButtons;
  QString FText;
  int FAnswer = -1;
};
