// The saved-recordings dialog: every recording started so far, oldest first, with its size and
// length; a double click plays one.
#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

class QPushButton;
class QTreeWidget;

class TSavedRecordingsWin : public QDialog {
    Q_OBJECT
public:
    explicit TSavedRecordingsWin(QWidget* parent = nullptr);

    QTreeWidget* RecordingsList;
    QPushButton* ButtClose;

    // Refills the list from SavedRecordingsList.
    void FormShow();
    // Opens the selected recording when exactly one row is selected.
    void RecordingsListDblClick();
    void ButtCloseClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_Placed = false;
};

// The duration of a media file in microseconds as libavformat reads it; nothing when the file
// cannot be opened or tells no duration.
std::optional<std::int64_t> MediaDurationUs(const QString& path);

extern TSavedRecordingsWin* SavedRecordingsWin;
