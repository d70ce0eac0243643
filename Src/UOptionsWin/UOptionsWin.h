// The options dialog: whether sound and picture are recorded, the sound source, the audio
// bitrate, and the video bitrate, frame rate and format. It edits RecorderOptions and stores the
// audio and video keys with SaveMediaOptions; the capture rectangle is not its business.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class TOptionsWin : public QDialog {
    Q_OBJECT
public:
    explicit TOptionsWin(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QComboBox* cboAudioDevices;
    QLabel* Label1;
    QComboBox* Audio_Bitrate_List;
    QLabel* Label2;
    QCheckBox* CBoxRecordAudio;
    QGroupBox* GroupBox2;
    QLabel* Label3;
    QComboBox* Video_Bitrate_List;
    QLabel* Label4;
    QLabel* Label5;
    QComboBox* Video_Frames_List;
    QLabel* Label6;
    QLabel* Label7;
    QComboBox* Video_Format_List;
    QCheckBox* CBoxRecordVideo;
    QPushButton* Button1;
    QPushButton* ButtSave;
    QPushButton* ButtCancel;

    // Refills every control from RecorderOptions; the record itself is not changed.
    void FormShow();
    void ButtSaveClick();
    void ButtCancelClick();
    void Button1Click();

    // The sound sources' descriptions in wave-in device order (entry n of the list is device
    // n - 1). Tests put a fixed list here; null restores the sound server's list.
    using TAudioDeviceLister = std::function<QStringList()>;
    static void SetAudioDeviceLister(TAudioDeviceLister lister);

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_Placed = false;
};

extern TOptionsWin* OptionsWin;
