#include "app/TFTextDialog.h"

#include "app/TFConfig.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TFTextDialog::TFTextDialog(QWidget *parent, const QString &caption, const QStringList &lines,
                           const QStringList &buttons, int defaultButton, bool withIcon)
    : QDialog(parent), FText(lines.join('\n')) {
  setWindowTitle(caption);
  setWindowIcon(TFConfig::ProgramIcon());
  auto *body = new QHBoxLayout;
  if (withIcon) {
    auto *icon = new QLabel(this);
    icon->setObjectName("IIcon");
    icon->setPixmap(QPixmap::fromImage(TFConfig::IconImage(48)));
    icon->setAlignment(Qt::AlignTop);
    body->addWidget(icon);
  }
  auto *text = new QLabel(FText, this);
  text->setObjectName("LText");
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  body->addWidget(text, 1);
  auto *box = new QDialogButtonBox(this);
  for (int i = 0; i < buttons.size(); ++i) {
    QPushButton *b = box->addButton(buttons[i], QDialogButtonBox::ActionRole);
    b->setObjectName(QString("B%1").arg(i));
    b->setDefault(i == defaultButton);
    b->setAutoDefault(i == defaultButton);
    connect(b, &QPushButton::clicked, this, [this, i] {
      FAnswer = i;
      accept();
    });
    FButtons.push_back(b);
  }
  auto *layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(box);
}

QPushButton *TFTextDialog::Button(int index) const {
  return index >= 0 && index < FButtons.size() ? FButtons[index] : nullptr;
}

QString TFTextDialog::Text() const {
  return FText;
}

int TFTextDialog::Ask() {
  FAnswer = -1;
  exec();
  return FAnswer;
}
