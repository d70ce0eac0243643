// The main window's own part: the skin, the image buttons, stay-on-top, the popup menu, moving
// the window, and the close query. The recording controller and the progress and log handlers
// live in RecordingController.cpp and ProgressLog.cpp.
#include "RururiVevaDedizirFrm.h"

#include "FrameForm.h"
#include "Shell.h"
#include "SkinImage.h"
#include "SkinResources.h"
#include "UAboutWin.h"
#include "UMarkVideoWindow.h"
#include "UOptionsWin.h"
#include "UPublic.h"
#include "USavedRecordingsWin.h"
#include "UpdateCheck.h"
#include "WindowDrag.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

TfrmRururiVevaDedizir* frmRururiVevaDedizir = nullptr;

namespace {

QString fixed(const char* name) {
    return QString::fromLatin1(name);
}

} // namespace

TfrmRururiVevaDedizir::TfrmRururiVevaDedizir(QWidget* parent) : QWidget(parent) {
    setObjectName("frmRururiVevaDedizir");
    setFont(KvcFont());

    // The plain controls of this part; the skin hides them.
    ButtMarkWindow = new QPushButton("Mark Video Window", this);
    ButtMarkWindow->setObjectName("ButtMarkWindow");
    ButtOptions = new QPushButton("Options", this);
    ButtOptions->setObjectName("ButtOptions");
    ButtAbout = new QPushButton("About", this);
    ButtAbout->setObjectName("ButtAbout");
    ButtOpenFolder = new QPushButton("Open Folder", this);
    ButtOpenFolder->setObjectName("ButtOpenFolder");
    CBoxTop = new QCheckBox("Top", this);
    CBoxTop->setObjectName("CBoxTop");
    CBoxTop->setChecked(true);
    connect(ButtMarkWindow, &QPushButton::clicked, this,
            &TfrmRururiVevaDedizir::ButtMarkWindowClick);
    connect(ButtOptions, &QPushButton::clicked, this, &TfrmRururiVevaDedizir::ButtOptionsClick);
    connect(ButtAbout, &QPushButton::clicked, this, &TfrmRururiVevaDedizir::ButtAboutClick);
    connect(ButtOpenFolder, &QPushButton::clicked, this,
            &TfrmRururiVevaDedizir::ButtOpenFolderClick);
    connect(CBoxTop, &QCheckBox::clicked, this, &TfrmRururiVevaDedizir::CBoxTopClick);

    BackgroundImage = new TSkinImage(this);
    BackgroundImage->setObjectName("BackgroundImage");
    BackgroundImage->hide();
    Infotext = new QLineEdit(this);
    Infotext->setObjectName("Infotext");
    Infotext->setReadOnly(true);
    Infotext->setGeometry(10, 35, 320, 21);

    const auto makeImage = [this](const char* name) {
        auto* image = new TSkinImage(this);
        image->setObjectName(name);
        image->hide();
        return image;
    };
    TopImage = makeImage("TopImage");
    HelpImage = makeImage("HelpImage");
    MinImage = makeImage("MinImage");
    CloseImage = makeImage("CloseImage");
    MarkWindowImage = makeImage("MarkWindowImage");
    ReadyRecordImage = makeImage("ReadyRecordImage");
    PlayImage = makeImage("PlayImage");
    OpenFolderImage = makeImage("OpenFolderImage");
    OptionsImage = makeImage("OptionsImage");

    WireImage(
        TopImage, [] { return fixed(StayOnTop ? "TopOKButton_2" : "TopButton_2"); },
        [] { return fixed(StayOnTop ? "TopOKButton_1" : "TopButton_1"); },
        &TfrmRururiVevaDedizir::TopImageClick);
    WireImage(
        HelpImage, [] { return fixed("HelpButton_2"); }, [] { return fixed("HelpButton_1"); },
        &TfrmRururiVevaDedizir::HelpImageClick);
    WireImage(
        MinImage, [] { return fixed("MinButton_2"); }, [] { return fixed("MinButton_1"); },
        &TfrmRururiVevaDedizir::MinImageClick);
    WireImage(
        CloseImage, [] { return fixed("CloseButton_2"); }, [] { return fixed("CloseButton_1"); },
        &TfrmRururiVevaDedizir::CloseImageClick);
    WireImage(
        MarkWindowImage, [] { return fixed("MarkWindow_2"); },
        [] { return fixed(MarkWindowShown ? "MarkWindow_2" : "MarkWindow_1"); },
        &TfrmRururiVevaDedizir::MarkWindowImageClick);
    WireImage(
        ReadyRecordImage, [] { return fixed(IsRecording ? "Recording_2" : "ReadyRecord_2"); },
        [] { return fixed(IsRecording ? "Recording_1" : "ReadyRecord_1"); },
        &TfrmRururiVevaDedizir::ReadyRecordImageClick);
    WireImage(
        PlayImage, [] { return fixed("Play_2"); }, [] { return fixed("Play_1"); },
        &TfrmRururiVevaDedizir::PlayImageClick);
    WireImage(
        OpenFolderImage, [] { return fixed("OpenFolder_2"); }, [] { return fixed("OpenFolder_1"); },
        &TfrmRururiVevaDedizir::OpenFolderImageClick);
    WireImage(
        OptionsImage, [] { return fixed("Options_2"); }, [] { return fixed("Options_1"); },
        &TfrmRururiVevaDedizir::OptionsImageClick);

    PMenuMain = new QMenu(this);
    PMenuMain->setObjectName("PMenuMain");
    S2 = PMenuMain->addAction("Show recordings", this, &TfrmRururiVevaDedizir::S2Click);
    N1 = PMenuMain->addSeparator();
    S1 = PMenuMain->addAction("Help", this, &TfrmRururiVevaDedizir::S1Click);
    U1 = PMenuMain->addAction("Check for updates ...", this, &TfrmRururiVevaDedizir::U1Click);
    N2 = PMenuMain->addSeparator();
    A1 = PMenuMain->addAction("About", this, &TfrmRururiVevaDedizir::A1Click);

    // A press with any button on the free background moves the window.
    auto* drag = new TWindowDrag(this);
    drag->Buttons = Qt::AllButtons;
    BackgroundImage->installEventFilter(drag);

    // Creation, in order: title, skin, no frame, icon.
    setWindowTitle("Kestrovane Video Capture");
    CreateRecordingControls();
    ApplySkin();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    const QIcon icon = LoadSkinIcon("AppIcon");
    QApplication::setWindowIcon(icon);
    setWindowIcon(icon);
    setFixedSize(340, 200);
    // The capture device shows its frame window through this window's factory.
    SetFrameWindowFactory(FrameFormFactory());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), size());
        r.moveCenter(screen->geometry().center());
        move(r.topLeft());
    }
}

TfrmRururiVevaDedizir::~TfrmRururiVevaDedizir() = default;

void TfrmRururiVevaDedizir::WireImage(TSkinImage* image, std::function<QString()> downPicture,
                                      std::function<QString()> upPicture,
                                      void (TfrmRururiVevaDedizir::*action)()) {
    connect(image, &TSkinImage::mouseDown, this,
            [image, downPicture](Qt::MouseButton) { image->setPicture(downPicture()); });
    connect(image, &TSkinImage::clicked, this, [this, action] { (this->*action)(); });
    connect(image, &TSkinImage::mouseUp, this,
            [image, upPicture](Qt::MouseButton) { image->setPicture(upPicture()); });
}

void TfrmRururiVevaDedizir::ApplySkin() {
    // The plain controls, including those of the recording controller and the log, are hidden;
    // their handlers and enabled states still drive the recording.
    const QList<QWidget*> plain = {btnStart,    btnStop,     btnPause,       btnResume,
                                   ButtOptions, ButtAbout,   ButtOpenFolder, ButtMarkWindow,
                                   CBoxTop,     cboLogLevel, mmoLog};
    for (QWidget* w : plain) {
        if (w)
            w->hide();
    }

    Infotext->setGeometry(10, 35, 320, 21);
    Infotext->setFrame(false);
    Infotext->setFocusPolicy(Qt::NoFocus);
    Infotext->setContextMenuPolicy(Qt::NoContextMenu);
    Infotext->setAlignment(Qt::AlignCenter);
    QPalette infoPalette = Infotext->palette();
    infoPalette.setColor(QPalette::Base, Qt::white);
    infoPalette.setColor(QPalette::Text, QColor(0x1d, 0x2a, 0x3b));
    Infotext->setPalette(infoPalette);

    BackgroundImage->show();
    BackgroundImage->setGeometry(0, 0, 340, 200);
    BackgroundImage->setPicture("MainWin");
    BackgroundImage->lower();

    struct Place {
        TSkinImage* image;
        QRect rect;
        const char* picture;
        const char* hint;
    };
    const Place places[] = {
        {TopImage, {275, 2, 14, 14}, "TopButton_1", "Always on top"},
        {HelpImage, {291, 2, 14, 14}, "HelpButton_1", "Help"},
        {MinImage, {308, 2, 14, 14}, "MinButton_1", "Minimize"},
        {CloseImage, {324, 2, 14, 14}, "CloseButton_1", "Close"},
        {MarkWindowImage, {25, 115, 140, 17}, "MarkWindow_1", nullptr},
        {ReadyRecordImage, {1, 158, 83, 41}, "ReadyRecord_1", "Record"},
        {PlayImage, {86, 158, 83, 41}, "Play_1", "Play"},
        {OpenFolderImage, {171, 158, 83, 41}, "OpenFolder_1", "Open Containing Folder"},
        {OptionsImage, {257, 158, 83, 41}, "Options_1", "Options"},
    };
    for (const Place& p : places) {
        p.image->show();
        p.image->setGeometry(p.rect);
        p.image->setPicture(p.picture);
        if (p.hint)
            p.image->setToolTip(p.hint);
        p.image->raise();
    }
    Infotext->raise();

    // White on the dark panel; as wide as the panel, so that any status text fits.
    for (const auto& [label, top] : {std::pair{lblStatus, 73}, std::pair{TimeLabel, 95}}) {
        if (!label)
            continue;
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, QColor(255, 255, 255));
        label->setPalette(pal);
        label->setAutoFillBackground(false);
        label->setGeometry(26, top, 296, 15);
        label->show();
        label->raise();
    }
}

void TfrmRururiVevaDedizir::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Not on a restore from minimised, which the window system reports as a spontaneous show.
    if (!event->spontaneous() && !FShownOnce) {
        FShownOnce = true;
        LoadSavedRecordings();
        // The automatic update check, once the show has completed.
        PostWindowMessage(this, WM_CHECK_NEW_VERSION, 0, 0);
    }
}

// ---- stay on top

void TfrmRururiVevaDedizir::SetTopMost(bool on) {
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, on);
    if (QWindow* handle = windowHandle()) {
        // Changed on the existing window: QWidget::setWindowFlags would hide and remap it.
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

bool TfrmRururiVevaDedizir::IsTopMost() const {
    if (const QWindow* handle = windowHandle())
        return handle->flags().testFlag(Qt::WindowStaysOnTopHint);
    return windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void TfrmRururiVevaDedizir::RestoreStayOnTop() {
    SetTopMost(true);
    TopImage->setPicture("TopOKButton_2");
}

int TfrmRururiVevaDedizir::ShowModalWithStayOnTopBracket(QDialog* dialog) {
    if (!dialog)
        return 0;
    // A top-most main window would cover its own dialog.
    if (StayOnTop) {
        SetTopMost(false);
        TopImage->setPicture("TopButton_1");
    }
    const int result = dialog->exec();
    if (StayOnTop)
        RestoreStayOnTop();
    return result;
}

// ---- image buttons

void TfrmRururiVevaDedizir::TopImageClick() {
    StayOnTop = !StayOnTop;
    SetTopMost(StayOnTop);
}

void TfrmRururiVevaDedizir::HelpImageClick() {
    PMenuMain->exec(QCursor::pos());
}

void TfrmRururiVevaDedizir::MinImageClick() {
    showMinimized();
}

void TfrmRururiVevaDedizir::CloseImageClick() {
    if (IsRecording) {
        const bool yes = ConfirmCloseWhileRecording
                             ? ConfirmCloseWhileRecording()
                             : QMessageBox::question(this, windowTitle(),
                                                     "Recording, continue to close application?",
                                                     QMessageBox::Yes | QMessageBox::No,
                                                     QMessageBox::No) == QMessageBox::Yes;
        if (!yes)
            return;
    }
    close();
}

void TfrmRururiVevaDedizir::MarkWindowImageClick() {
    ButtMarkWindowClick();
    MarkWindowImage->setPicture(MarkWindowShown ? "MarkWindow_2" : "MarkWindow_1");
}

void TfrmRururiVevaDedizir::ReadyRecordImageClick() {
    if (IsRecording) {
        if (auto* stop = findChild<QPushButton*>("btnStop", Qt::FindDirectChildrenOnly))
            Q_EMIT stop->clicked();
        ReadyRecordImage->setPicture("ReadyRecord_1");
    } else {
        if (auto* start = findChild<QPushButton*>("btnStart", Qt::FindDirectChildrenOnly))
            Q_EMIT start->clicked();
        ReadyRecordImage->setPicture("Recording_1");
    }
}

void TfrmRururiVevaDedizir::PlayImageClick() {
    if (!LastRecordingFile.isEmpty())
        ShellOpenPath(LastRecordingFile);
    else
        S2Click();
}

void TfrmRururiVevaDedizir::OpenFolderImageClick() {
    ButtOpenFolderClick();
}

void TfrmRururiVevaDedizir::OptionsImageClick() {
    ButtOptionsClick();
}

// ---- the hidden controls' handlers

void TfrmRururiVevaDedizir::ButtMarkWindowClick() {
    if (!MarkVideoWindow)
        return;
    if (MarkWindowShown) {
        // Its close query clears MarkWindowShown.
        MarkVideoWindow->close();
    } else {
        MarkWindowShown = true;
        MarkVideoWindow->show();
    }
}

void TfrmRururiVevaDedizir::ButtOptionsClick() {
    ShowModalWithStayOnTopBracket(OptionsWin);
}

void TfrmRururiVevaDedizir::ButtAboutClick() {
    if (AboutWin)
        AboutWin->exec();
}

void TfrmRururiVevaDedizir::ButtOpenFolderClick() {
    // The recordings' folder; made first so that the desktop has something to show before the
    // first recording.
    QDir().mkpath(AppDataFolder);
    ShellOpenPath(AppDataFolder);
}

void TfrmRururiVevaDedizir::CBoxTopClick() {
    SetTopMost(CBoxTop->isChecked());
}

// ---- the popup menu

void TfrmRururiVevaDedizir::S2Click() {
    ShowModalWithStayOnTopBracket(SavedRecordingsWin);
}

void TfrmRururiVevaDedizir::S1Click() {
    ShellOpen(QUrl(MakerSupportPage()));
}

void TfrmRururiVevaDedizir::U1Click() {
    PostWindowMessage(this, WM_CHECK_NEW_VERSION, 1, 0);
}

void TfrmRururiVevaDedizir::A1Click() {
    ShowModalWithStayOnTopBracket(AboutWin);
}

// ---- closing

void TfrmRururiVevaDedizir::FormCloseQuery() {
    const auto step = [this](const char* name) {
        if (OnCloseQueryStep)
            OnCloseQueryStep(name);
    };
    // A list that cannot be written must not keep the window open or skip the rest.
    SaveSavedRecordings();
    step("SaveSavedRecordings");
    SaveCaptureRect();
    step("SaveCaptureRect");
    DetachEncoderReports();
    step("DetachEncoderReports");
    StopEncoderAndWait();
    step("StopEncoder");
    DetachLogger();
    step("DetachLogger");
}

void TfrmRururiVevaDedizir::closeEvent(QCloseEvent* event) {
    FormCloseQuery();
    event->accept();
}
