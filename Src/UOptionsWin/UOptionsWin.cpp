#include "UOptionsWin.h"

#include "Shell.h"
#include "UPublic.h"
#include "WaveIn.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TOptionsWin* OptionsWin = nullptr;

namespace {

TOptionsWin::TAudioDeviceLister& deviceLister() {
    static TOptionsWin::TAudioDeviceLister lister;
    return lister;
}

QStringList systemAudioDevices() {
    QStringList names;
    for (const std::string& d : ListCaptureSourceDescriptions())
        names << QString::fromStdString(d);
    return names;
}

QComboBox* makeList(QWidget* parent, int x, int y, int w, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setGeometry(x, y, w, 21);
    box->addItems(items);
    box->setEditable(false);
    return box;
}

QLabel* makeLabel(QWidget* parent, int x, int y, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* makeButton(QWidget* parent, int x, int y, int w, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(x, y, w, 25);
    // No button answers Enter.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Selects the entry whose text is exactly `text`, else entry 0.
void selectText(QComboBox* box, const QString& text) {
    const int i = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    box->setCurrentIndex(i >= 0 ? i : 0);
}

// Selects entry `index` if the list has it, else entry 0.
void selectIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : 0);
}

} // namespace

void TOptionsWin::SetAudioDeviceLister(TAudioDeviceLister lister) {
    deviceLister() = std::move(lister);
}

TOptionsWin::TOptionsWin(QWidget* parent) : QDialog(parent) {
    setObjectName("OptionsWin");
    setWindowTitle("Options");
    setFont(KvcFont());
    setFixedSize(443, 256);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    // The group boxes have no caption: each check box sits on its box's top edge instead.
    GroupBox1 = new QGroupBox(this);
    GroupBox1->setGeometry(8, 14, 425, 91);
    cboAudioDevices = makeList(GroupBox1, 26, 17, 246, {});
    Label1 = makeLabel(GroupBox1, 26, 60, "Audio Bitrate");
    Audio_Bitrate_List = makeList(GroupBox1, 114, 57, 65, {"64", "96", "128", "192", "256", "384"});
    Label2 = makeLabel(GroupBox1, 185, 60, "Kbps");
    CBoxRecordAudio = new QCheckBox("Record Audio", this);
    CBoxRecordAudio->setGeometry(19, 8, 166, 17);

    GroupBox2 = new QGroupBox(this);
    GroupBox2->setGeometry(10, 126, 425, 83);
    Label3 = makeLabel(GroupBox2, 24, 20, "Video Bitrate");
    Video_Bitrate_List = makeList(
        GroupBox2, 112, 17, 65,
        {"12000", "8000", "6000", "5000", "4000", "3000", "2000", "1000", "800", "500", "320"});
    Label4 = makeLabel(GroupBox2, 183, 20, "Kbps");
    Label5 = makeLabel(GroupBox2, 248, 20, "Frames/sec");
    Video_Frames_List =
        makeList(GroupBox2, 320, 17, 65, {"15", "23.97", "24", "25", "29.97", "30", "50"});
    Label6 = makeLabel(GroupBox2, 391, 20, "fps");
    Label7 = makeLabel(GroupBox2, 24, 51, "Video Format");
    Video_Format_List = makeList(GroupBox2, 112, 48, 137, {"MP4"});
    CBoxRecordVideo = new QCheckBox("Record Video", this);
    CBoxRecordVideo->setGeometry(19, 120, 148, 17);

    // Over the group boxes' edges, with the dialog's background behind their text.
    for (QCheckBox* box : {CBoxRecordAudio, CBoxRecordVideo}) {
        box->setAutoFillBackground(true);
        box->adjustSize();
        box->raise();
    }

    Button1 = makeButton(this, 8, 223, 73, "Help");
    ButtSave = makeButton(this, 274, 223, 73, "Save");
    ButtCancel = makeButton(this, 362, 223, 73, "Cancel");

    setTabOrder(Audio_Bitrate_List, cboAudioDevices);
    setTabOrder(cboAudioDevices, CBoxRecordAudio);
    setTabOrder(CBoxRecordAudio, Video_Bitrate_List);
    setTabOrder(Video_Bitrate_List, Video_Frames_List);
    setTabOrder(Video_Frames_List, Video_Format_List);
    setTabOrder(Video_Format_List, CBoxRecordVideo);
    setTabOrder(CBoxRecordVideo, Button1);
    setTabOrder(Button1, ButtSave);
    setTabOrder(ButtSave, ButtCancel);

    connect(ButtSave, &QPushButton::clicked, this, &TOptionsWin::ButtSaveClick);
    connect(ButtCancel, &QPushButton::clicked, this, &TOptionsWin::ButtCancelClick);
    connect(Button1, &QPushButton::clicked, this, &TOptionsWin::Button1Click);
}

void TOptionsWin::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        PlaceDialogOnFirstShow(this, &m_Placed);
    }
    QDialog::showEvent(event);
}

void TOptionsWin::FormShow() {
    cboAudioDevices->clear();
    cboAudioDevices->addItem("Default input device");
    const QStringList devices = deviceLister() ? deviceLister()() : systemAudioDevices();
    for (const QString& name : devices)
        cboAudioDevices->addItem("audio=" + name);
    cboAudioDevices->setCurrentIndex(0);

    CBoxRecordAudio->setChecked(RecorderOptions.RecordAudio);
    selectIndex(cboAudioDevices, RecorderOptions.AudioDeviceID);
    selectText(Audio_Bitrate_List, RecorderOptions.Audio_Bitrate);
    CBoxRecordVideo->setChecked(RecorderOptions.RecordVideo);
    selectText(Video_Bitrate_List, RecorderOptions.Video_Bitrate);
    selectText(Video_Frames_List, RecorderOptions.Video_Frames);
    selectIndex(Video_Format_List, RecorderOptions.Video_Format);
}

void TOptionsWin::ButtSaveClick() {
    RecorderOptions.RecordAudio = CBoxRecordAudio->isChecked();
    RecorderOptions.AudioDeviceID = cboAudioDevices->currentIndex();
    RecorderOptions.Audio_Bitrate = Audio_Bitrate_List->currentText();
    RecorderOptions.RecordVideo = CBoxRecordVideo->isChecked();
    RecorderOptions.Video_Bitrate = Video_Bitrate_List->currentText();
    RecorderOptions.Video_Frames = Video_Frames_List->currentText();
    RecorderOptions.Video_Format = Video_Format_List->currentIndex();
    SaveMediaOptions();
    close();
}

void TOptionsWin::ButtCancelClick() {
    close();
}

void TOptionsWin::Button1Click() {
    ShellOpen(QUrl(MakerSupportPage()));
}
