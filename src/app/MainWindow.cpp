#include "app/MainWindow.h"

#include "app/QtBrowserLauncher.h"
#include "app/TFAbout.h"
#include "app/TFConfig.h"
#include "app/TFDialogTexts.h"
#include "app/TFTextDialog.h"
#include "app/TfrmOptions.h"
#include "app/TfsDocumentView.h"
#include "app/TfsRulerWidget.h"
#include "designer/BrowserLauncher.h"
#include "tallisyn_version.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace {

QString Q(const std::string &s) {
  return QString::fromStdString(s);
}

// "description (*.ext)|*.ext" as a Qt filter.
QString QtFilter(const std::string &filter) {
  const size_t bar = filter.find('|');
  return Q(bar == std::string::npos ? filter : filter.substr(0, bar));
}

QSettings WindowSettings() {
  return QSettings("Orvane", "Tallisyn2");
}

QGroupBox *Group(const char *name, const QString &title, QWidget *parent) {
  auto *g = new QGroupBox(title, parent);
  g->setObjectName(name);
  new QVBoxLayout(g);
  return g;
}

template <class T> T *Named(T *widget, const char *name) {
  widget->setObjectName(name);
  return widget;
}

QLabel *Header(const char *name, QWidget *parent) {
  auto *l = Named(new QLabel(parent), name);
  QFont f = l->font();
  f.setPointSizeF(f.pointSizeF() * 1.4);
  f.setBold(true);
  l->setFont(f);
  return l;
}

} // namespace

TMainWindow::TMainWindow(std::vector<std::string> args, std::string appFolder,
                         TBrowserLauncher *browser, QWidget *parent)
    : QMainWindow(parent) {
  setObjectName("FMain");
  setWindowIcon(TFConfig::ProgramIcon());
  if (!browser) {
    FOwnBrowser = std::make_unique<TQtBrowserLauncher>();
    browser = FOwnBrowser.get();
  }
  BuildMenus();
  auto *split = Named(new QSplitter(this), "Splitter");
  split->addWidget(BuildLeftTabs());
  split->addWidget(BuildRightPages());
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  setCentralWidget(split);
  BuildStatusBar();
  for (TDesignerTimer t : {dtTextHighlight, dtTermsAndConditions}) {
    auto *timer = new QTimer(this);
    timer->setObjectName(t == dtTextHighlight ? "Timer1" : "TimerTermsAndConditions");
    timer->setInterval(100);
    timer->setSingleShot(t == dtTermsAndConditions);
    connect(timer, &QTimer::timeout, this, [this, t] { Run([&] { FDesigner->TimerFired(t); }); });
    FTimers[t] = timer;
  }

  resize(1200, 820);
  const QByteArray geometry = WindowSettings().value("Window/Geometry").toByteArray();
  if (!geometry.isEmpty())
    restoreGeometry(geometry);

  FDesigner = std::make_unique<TFTLMain>(
      *this, *browser, TFMain::TStartup{std::move(args), std::move(appFolder), ""});
  FDesigner->Create();
}

TMainWindow::~TMainWindow() {
  // The model goes first: it points into the document views.
  FDesigner.reset();
}

// ---- building ---------------------------------------------------------------------

void TMainWindow::BuildMenus() {
  auto action = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &keys,
                       std::function<void()> run) {
    auto *a = Named(new QAction(text, this), name);
    if (!keys.isEmpty())
      a->setShortcut(keys);
    connect(a, &QAction::triggered, this, [this, run] { Run(run); });
    menu->addAction(a);
    return a;
  };
  QMenu *file = Named(menuBar()->addMenu("&File"), "miFile");
  action(file, "miOpenTemplate", "Open &Template", QKeySequence("Ctrl+N"),
         [this] { FDesigner->OpenFile(TFMain::okTemplates, false); });
  action(file, "miOpenDesign", "Open &Design", QKeySequence("Ctrl+O"),
         [this] { FDesigner->OpenFile(TFMain::okDesigns, std::nullopt); });
  action(file, "miSaveDesign", "&Save Design", QKeySequence("Ctrl+S"),
         [this] { FDesigner->SaveDesign(); });
  // Printing comes with the print sheet; the item waits hidden.
  action(file, "miPrint", "&Print...", QKeySequence("Ctrl+P"), [] {})->setVisible(false);
  file->addSeparator();
  action(file, "miExit", "E&xit", QKeySequence("Ctrl+Q"), [this] { FDesigner->Exit(); });
  connect(file, &QMenu::aboutToShow, this,
          [this] { Run([this] { FDesigner->FileMenuOpening(); }); });

  Named(menuBar()->addMenu("&Edit"), "miEdit")->menuAction()->setVisible(false);
  QMenu *shape = Named(menuBar()->addMenu("S&hape"), "miShape");
  auto *freehand = Named(new QAction("Add &Freehand", this), "miShapeAddFreehand");
  freehand->setEnabled(false);
  shape->addAction(freehand);
  Named(menuBar()->addMenu("&View"), "miView")->menuAction()->setVisible(false);

  auto *popup = Named(new QMenu(this), "pmShapeAdd");
  auto *popupFreehand = Named(new QAction("Add &Freehand", this), "miPopupAddFreehand");
  popupFreehand->setEnabled(false);
  popup->addAction(popupFreehand);

  QMenu *help = Named(menuBar()->addMenu("&Help"), "miHelp");
  action(help, "miFAQs", "&FAQs", QKeySequence("F1"), [this] { FDesigner->HelpFaqs(); });
  action(help, "miTutorials", "&Tutorials", {}, [this] { FDesigner->HelpTutorials(); });
  help->addSeparator();
  action(help, "miOptions", "&Options...", {}, [this] { FDesigner->ShowOptions(); });
  action(help, "miTerms", "&Terms and Conditions...", {}, [this] { FDesigner->ShowTerms(); });
  action(help, "miAbout", "&About...", {}, [this] { FDesigner->ShowAbout(); });
}

QWidget *TMainWindow::BuildLeftTabs() {
  FLeftTabs = Named(new QTabWidget(this), "PageControl1");
  FLeftTabs->setMinimumWidth(300);

  // The message and image controls of the first design page; never shown.
  auto *old = Named(new QWidget, "tsDesign");
  auto *oldLayout = new QVBoxLayout(old);
  oldLayout->addWidget(Header("LDesignHeader", old));
  oldLayout->addWidget(Group("GBText", "Your Message", old));
  QGroupBox *image = Group("GBImage", "Background Image", old);
  image->layout()->addWidget(Named(new QPushButton("Load Image", image), "BLoadImage"));
  oldLayout->addWidget(image);
  auto *copyAB = Named(new QPushButton("Copy A to B", old), "BCopyAToB");
  copyAB->setVisible(false);
  oldLayout->addWidget(copyAB);
  oldLayout->addStretch();

  auto *design = Named(new QWidget, "tsDesignAdvanced");
  auto *designLayout = new QVBoxLayout(design);
  designLayout->addWidget(Header("LDesignAdvancedHeader", design));
  auto *openRow = new QHBoxLayout;
  auto *openTemplate = Named(new QPushButton("Open Template", design), "BOpenTemplate");
  connect(openTemplate, &QPushButton::clicked, this,
          [this] { Run([this] { FDesigner->OpenFile(TFMain::okTemplates, false); }); });
  auto *save = Named(new QPushButton("Save Design", design), "BSaveDesign");
  connect(save, &QPushButton::clicked, this, [this] { Run([this] { FDesigner->SaveDesign(); }); });
  openRow->addWidget(openTemplate);
  openRow->addWidget(save);
  designLayout->addLayout(openRow);
  auto *current = new QHBoxLayout;
  current->addWidget(new QLabel("Current Template:", design));
  current->addWidget(Named(new QLabel(design), "LCurrentTemplate"), 1);
  designLayout->addLayout(current);
  auto *tools = new QHBoxLayout;
  for (auto [name, text] :
       {std::pair{"tbAdd", "Add"}, {"tbAddText", "Add Text"}, {"tbAddPic", "Add Pic"}}) {
    auto *b = Named(new QToolButton(design), name);
    b->setText(text);
    tools->addWidget(b);
  }
  tools->addStretch();
  designLayout->addLayout(tools);
  designLayout->addWidget(Group("GBBGColour", "Background Colour", design));
  // The property panels of the focused shape.
  auto *panels = Named(new QTabWidget(design), "PageControl3");
  panels->addTab(Named(new QWidget, "tsShape"), "Shape");
  panels->addTab(Named(new QWidget, "tsEffects"), "Effects");
  designLayout->addWidget(panels, 1);

  auto *print = Named(new QWidget, "tsPrint");
  auto *printLayout = new QVBoxLayout(print);
  printLayout->addWidget(Header("LPrintHeader", print));
  auto *layoutPanel = Named(new QWidget(print), "PPrintLayout");
  auto *panelLayout = new QVBoxLayout(layoutPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  auto *paper = new QHBoxLayout;
  auto *precut = Named(new QCheckBox("Pre-cut Paper", layoutPanel), "CBPrecut");
  auto *uncut = Named(new QCheckBox("Uncut Paper", layoutPanel), "CBUncut");
  precut->setChecked(true);
  connect(precut, &QCheckBox::clicked, uncut, [uncut](bool on) { uncut->setChecked(!on); });
  connect(uncut, &QCheckBox::clicked, precut, [precut](bool on) { precut->setChecked(!on); });
  paper->addWidget(precut);
  paper->addWidget(uncut);
  panelLayout->addLayout(paper);
  auto *tips = Named(new QPushButton("Show Printing Tips", layoutPanel), "BShowPrintingTips");
  connect(tips, &QPushButton::clicked, this,
          [this] { Run([this] { FDesigner->ShowPrintingTips(); }); });
  panelLayout->addWidget(tips);
  panelLayout->addWidget(
      Named(new QPushButton("copy to multi print page", layoutPanel), "BCopyToMultiPrint"));
  panelLayout->addWidget(Named(new QPushButton("Print", layoutPanel), "BPrint"));
  printLayout->addWidget(layoutPanel);
  printLayout->addStretch();

  auto *tmpl = Named(new QWidget, "tsTemplate");
  auto *tmplLayout = new QVBoxLayout(tmpl);
  QGroupBox *tmplGroup = Group("GBTemplate", "Template", tmpl);
  tmplGroup->layout()->addWidget(Named(new QLineEdit(tmplGroup), "ETemplateName"));
  tmplGroup->layout()->addWidget(Named(new QCheckBox("flip-side", tmplGroup), "CBFlipSide"));
  tmplLayout->addWidget(tmplGroup);
  tmplLayout->addStretch();

  FLeftTabs->addTab(old, "Design Old");
  FLeftTabs->addTab(design, "Design");
  FLeftTabs->addTab(print, "Print");
  FLeftTabs->addTab(tmpl, "Template");
  connect(FLeftTabs, &QTabWidget::currentChanged, this, [this](int index) {
    if (!FSettingTabs)
      Run([&] { FDesigner->LeftTabChanged(static_cast<TLeftTab>(index)); });
  });
  return FLeftTabs;
}

QWidget *TMainWindow::BuildRightPages() {
  FRightPages = Named(new QStackedWidget(this), "PageControl2");

  FDesignPage = Named(new QWidget, "TabSheet3");
  auto *designLayout = new QVBoxLayout(FDesignPage);
  designLayout->setContentsMargins(0, 0, 0, 0);
  designLayout->setSpacing(0);
  FSideTabs = Named(new QTabBar(FDesignPage), "TabControl");
  FSideTabs->addTab("Side A");
  FSideTabs->addTab("Side B");
  FSideTabs->setVisible(false);
  connect(FSideTabs, &QTabBar::currentChanged, this, [this](int index) {
    if (!FSettingTabs)
      Run([&] { FDesigner->SwitchSide(index); });
  });
  designLayout->addWidget(FSideTabs);

  auto *previewPage = Named(new QWidget, "TabSheet4");
  auto *previewLayout = new QVBoxLayout(previewPage);
  previewLayout->setContentsMargins(0, 0, 0, 0);
  FPreviews = Named(new QTabWidget(previewPage), "PageControl4");
  FPreviews->addTab(Named(new QWidget, "TabSheet9"), "single design print");
  FPreviews->addTab(Named(new QWidget, "TabSheet10"), "multi design print");
  for (int i = 0; i < 2; ++i) {
    auto *l = new QVBoxLayout(FPreviews->widget(i));
    l->setContentsMargins(0, 0, 0, 0);
  }
  previewLayout->addWidget(FPreviews);

  FStartupPage = Named(new QWidget, "TabSheet8");
  auto *startupLayout = new QVBoxLayout(FStartupPage);
  auto *panel = Named(new QWidget(FStartupPage), "PStartup");
  auto *panelLayout = new QVBoxLayout(panel);
  FStartupPicture = Named(new QLabel(panel), "IStartup");
  FStartupPicture->setPixmap(TFConfig::StartupPicture());
  FStartupPicture->setAlignment(Qt::AlignCenter);
  FStartupPicture->setCursor(Qt::PointingHandCursor);
  FStartupPicture->installEventFilter(this);
  panelLayout->addWidget(FStartupPicture, 1, Qt::AlignCenter);
  startupLayout->addWidget(panel);

  FRightPages->addWidget(FDesignPage);
  FRightPages->addWidget(previewPage);
  FRightPages->addWidget(FStartupPage);
  return FRightPages;
}

void TMainWindow::BuildStatusBar() {
  QStatusBar *bar = statusBar();
  bar->setObjectName("sbMain");
  const int widths[] = {150, 400, 150, 50};
  for (int i = 0; i < 4; ++i) {
    FPanels[i] = new QLabel(bar);
    FPanels[i]->setObjectName(QString("sbPanel%1").arg(i));
    FPanels[i]->setMinimumWidth(widths[i]);
    bar->addWidget(FPanels[i], i == 3 ? 1 : 0);
  }
  bar->installEventFilter(this);
}

TfsDocumentView *TMainWindow::MakeView(TDocumentRole role) {
  QWidget *host =
      role == drDesign ? FDesignPage : FPreviews->widget(role == drPrintPreview ? 0 : 1);
  auto *view = new TfsDocumentView(host);
  view->setObjectName(role == drDesign         ? "fsDocument"
                      : role == drPrintPreview ? "fsPrintPreview"
                                               : "fsMultiprintPreview");
  host->layout()->addWidget(view);
  if (role == drDesign) {
    view->SetRulersVisible(true);
    view->RulerTop()->setObjectName("RsRuler1");
    view->RulerLeft()->setObjectName("RsRuler2");
    view->RulerCorner()->setObjectName("RsRulerCorner1");
    view->RulerCorner()->setToolTip("millimeter");
    // Keys go to the window's shortcuts until editing needs them.
    view->setFocusPolicy(Qt::ClickFocus);
    view->OnMouseMove = [this](const TPoint &p) { Run([&] { FDesigner->DocumentMouseMove(p); }); };
  }
  return view;
}

// ---- TDesignerWindow ------------------------------------------------------------

TfsDocument &TMainWindow::CreateDocument(TDocumentRole role) {
  auto it = FViews.find(role);
  if (it != FViews.end()) {
    delete it->second;
    FViews.erase(it);
  }
  TfsDocumentView *view = MakeView(role);
  FViews[role] = view;
  return view->Document();
}

TfsDocumentView *TMainWindow::DocumentView(TDocumentRole role) const {
  auto it = FViews.find(role);
  return it == FViews.end() ? nullptr : it->second;
}

void TMainWindow::SetCaption(const std::string &caption) {
  setWindowTitle(Q(caption));
}

void TMainWindow::SetStatusText(int panel, const std::string &text) {
  if (panel >= 0 && panel < 4)
    FPanels[panel]->setText(Q(text));
}

void TMainWindow::SetTabVisible(TLeftTab tab, bool visible) {
  FLeftTabs->setTabVisible(tab, visible);
}

void TMainWindow::ShowLeftTab(TLeftTab tab) {
  FSettingTabs = true;
  FLeftTabs->setCurrentIndex(tab);
  FSettingTabs = false;
}

void TMainWindow::ShowRightPage(TRightPage page) {
  FRightPages->setCurrentWidget(page == rpDesignView      ? FDesignPage
                                : page == rpPrintPreviews ? FRightPages->widget(1)
                                                          : FStartupPage);
}

void TMainWindow::ShowPreviewPage(TPreviewPage page) {
  FPreviews->setCurrentIndex(page == ppSinglePrint ? 0 : 1);
}

void TMainWindow::SetPreviewTabsVisible(bool visible) {
  FPreviews->tabBar()->setVisible(visible);
}

void TMainWindow::SetSideTabsVisible(bool visible) {
  FSideTabs->setVisible(visible);
}

void TMainWindow::SetSideTab(int index) {
  FSettingTabs = true;
  FSideTabs->setCurrentIndex(index);
  FSettingTabs = false;
}

QObject *TMainWindow::Control(const std::string &name) const {
  return findChild<QObject *>(Q(name));
}

void TMainWindow::SetControlEnabled(const std::string &name, bool enabled) {
  QObject *c = Control(name);
  if (auto *menu = qobject_cast<QMenu *>(c))
    menu->menuAction()->setEnabled(enabled);
  else if (auto *w = qobject_cast<QWidget *>(c))
    w->setEnabled(enabled);
  else if (auto *a = qobject_cast<QAction *>(c))
    a->setEnabled(enabled);
}

void TMainWindow::SetControlVisible(const std::string &name, bool visible) {
  QObject *c = Control(name);
  if (auto *menu = qobject_cast<QMenu *>(c))
    menu->menuAction()->setVisible(visible);
  else if (auto *w = qobject_cast<QWidget *>(c))
    w->setVisible(visible);
  else if (auto *a = qobject_cast<QAction *>(c))
    a->setVisible(visible);
}

void TMainWindow::SetControlText(const std::string &name, const std::string &text) {
  QObject *c = Control(name);
  if (auto *l = qobject_cast<QLabel *>(c))
    l->setText(Q(text));
  else if (auto *b = qobject_cast<QAbstractButton *>(c))
    b->setText(Q(text));
  else if (auto *e = qobject_cast<QLineEdit *>(c))
    e->setText(Q(text));
}

void TMainWindow::SetControlChecked(const std::string &name, bool checked) {
  if (auto *b = qobject_cast<QAbstractButton *>(Control(name)))
    b->setChecked(checked);
}

bool TMainWindow::ControlEnabled(const std::string &name) const {
  QObject *c = Control(name);
  if (auto *menu = qobject_cast<QMenu *>(c))
    return menu->menuAction()->isEnabled();
  if (auto *w = qobject_cast<QWidget *>(c))
    return w->isEnabled();
  if (auto *a = qobject_cast<QAction *>(c))
    return a->isEnabled();
  return false;
}

void TMainWindow::EnableControlsIn(const std::string &container, bool enabled) {
  auto *w = qobject_cast<QWidget *>(Control(container));
  if (!w)
    return;
  for (QWidget *child : w->findChildren<QWidget *>())
    child->setEnabled(enabled);
}

void TMainWindow::StartTimer(TDesignerTimer timer) {
  FTimers.at(timer)->start();
}

void TMainWindow::StopTimer(TDesignerTimer timer) {
  FTimers.at(timer)->stop();
}

bool TMainWindow::ShowNoTemplatesDialog() {
  TFTextDialog d(this, "Empty Templates Folder", DialogTexts::NoTemplates(), {"Download", "Cancel"},
                 0, true);
  d.setObjectName("FNoTemplates");
  return d.Ask() == 0;
}

bool TMainWindow::ShowTermsDialog() {
  TFTextDialog d(this, "Terms and Conditions", DialogTexts::Terms(), {"I Accept", "I Decline"}, 0,
                 true);
  d.setObjectName("FTerms");
  return d.Ask() == 0;
}

bool TMainWindow::ShowPaperTypeDialog() {
  TFTextDialog d(this, "Select Paper Type", DialogTexts::PaperType(),
                 {"Pre-cut Paper", "Uncut Paper"}, 0, true);
  d.setObjectName("FPaperType");
  return d.Ask() == 0;
}

void TMainWindow::ShowPrintingTipsDialog() {
  TFTextDialog d(this, "Printing Tips for Pre-cut Paper", DialogTexts::PrintingTips(), {"OK"}, 0,
                 false);
  d.setObjectName("FPrintingTips");
  d.Ask();
}

void TMainWindow::ShowAboutBox() {
  TFAbout about(this, TALLISYN_VERSION, Q(ProductPageAddress(ProductSiteAddress, "", false)));
  about.setObjectName("FAbout");
  about.OnOpenSite = [this] { Run([this] { FDesigner->OpenProductPage("", false); }); };
  about.exec();
}

void TMainWindow::ShowOptionsDialog() {
  TfrmOptions options(this);
  options.exec();
}

TModalAnswer TMainWindow::AskYesNoCancel(const std::string &text) {
  switch (QMessageBox::question(this, "Tallisyn 2", Q(text),
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                QMessageBox::Yes)) {
  case QMessageBox::Yes:
    return maYes;
  case QMessageBox::No:
    return maNo;
  default:
    return maCancel;
  }
}

void TMainWindow::ShowMessage(const std::string &text) {
  QString s = Q(text);
  s.replace("\r\n", "\n");
  QMessageBox::information(this, "Tallisyn 2", s);
}

std::optional<std::string> TMainWindow::OpenFileDialog(const TFileDialogSpec &spec) {
  const QString file =
      QFileDialog::getOpenFileName(this, Q(spec.Title), Q(spec.InitialDir), QtFilter(spec.Filter));
  if (file.isEmpty())
    return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> TMainWindow::SaveFileDialog(const TFileDialogSpec &spec) {
  QFileDialog d(this, Q(spec.Title), Q(spec.InitialDir), QtFilter(spec.Filter));
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setDefaultSuffix(Q(spec.DefaultExt));
  if (!spec.OverwritePrompt)
    d.setOption(QFileDialog::DontConfirmOverwrite);
  if (!spec.FileName.empty())
    d.selectFile(Q(spec.FileName));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
    return std::nullopt;
  return d.selectedFiles().front().toStdString();
}

void TMainWindow::Close() {
  close();
}

void TMainWindow::Run(const std::function<void()> &command) {
  try {
    command();
  } catch (const std::exception &e) {
    QMessageBox::critical(this, "Tallisyn 2", Q(e.what()));
  }
}

// ---- events ---------------------------------------------------------------------

void TMainWindow::showEvent(QShowEvent *event) {
  QMainWindow::showEvent(event);
  if (FShownOnce)
    return;
  FShownOnce = true;
  // After the window is on the screen, so its dialogs have a parent to
  // stand over.
  QTimer::singleShot(0, this, [this] { Run([this] { FDesigner->Shown(); }); });
}

void TMainWindow::closeEvent(QCloseEvent *event) {
  bool close = false;
  Run([&] { close = FDesigner->CloseQuery(); });
  if (!close) {
    event->ignore();
    return;
  }
  WindowSettings().setValue("Window/Geometry", saveGeometry());
  event->accept();
}

void TMainWindow::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  if (FDesigner)
    Run([this] { FDesigner->WindowResized(); });
}

bool TMainWindow::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::MouseButtonPress) {
    auto *m = static_cast<QMouseEvent *>(event);
    if (watched == FStartupPicture && m->button() == Qt::LeftButton) {
      Run([this] { FDesigner->StartupPictureClicked(); });
      return true;
    }
    if (watched == statusBar())
      Run([&] { FDesigner->StatusBarPressed(m->modifiers() & Qt::ShiftModifier); });
  }
  return QMainWindow::eventFilter(watched, event);
}
