#include "USavedRecordingsWin.h"

#include "Shell.h"
#include "UPublic.h"
#include "WindowPlacement.h"

#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

extern "C" {
#include <libavformat/avformat.h>
}

TSavedRecordingsWin* SavedRecordingsWin = nullptr;

std::optional<std::int64_t> MediaDurationUs(const QString& path) {
    AVFormatContext* ctx = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&ctx, name.constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    // An MP4 carries its duration in its header; other files may need a look at the streams.
    if (ctx->duration == AV_NOPTS_VALUE || ctx->duration <= 0)
        avformat_find_stream_info(ctx, nullptr);
    const std::int64_t duration = ctx->duration;
    avformat_close_input(&ctx);
    if (duration == AV_NOPTS_VALUE || duration < 0)
        return std::nullopt;
    return duration; // AV_TIME_BASE is microseconds
}

TSavedRecordingsWin::TSavedRecordingsWin(QWidget* parent) : QDialog(parent) {
    setObjectName("SavedRecordingsWin");
    setWindowTitle("Saved Recordings");
    setFont(KvcFont());
    setFixedSize(470, 305);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    RecordingsList = new QTreeWidget(this);
    RecordingsList->setGeometry(8, 8, 454, 257);
    RecordingsList->setRootIsDecorated(false);
    RecordingsList->setUniformRowHeights(true);
    RecordingsList->setSelectionMode(QAbstractItemView::SingleSelection);
    RecordingsList->setSelectionBehavior(QAbstractItemView::SelectRows);
    RecordingsList->setSortingEnabled(false);
    RecordingsList->setAllColumnsShowFocus(true);
    RecordingsList->setHeaderLabels({"File Name", "Size", "Time", "Type", "Recorded Date"});
    const int widths[] = {120, 60, 70, 50, 100};
    for (int i = 0; i < 5; ++i)
        RecordingsList->setColumnWidth(i, widths[i]);
    RecordingsList->header()->setStretchLastSection(false);
    RecordingsList->header()->setSectionsMovable(false);
    RecordingsList->viewport()->installEventFilter(this);

    ButtClose = new QPushButton("Close", this);
    ButtClose->setGeometry(200, 272, 73, 25);
    ButtClose->setAutoDefault(false);
    connect(ButtClose, &QPushButton::clicked, this, &TSavedRecordingsWin::ButtCloseClick);
}

void TSavedRecordingsWin::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        PlaceDialogOnFirstShow(this, &m_Placed);
    }
    QDialog::showEvent(event);
}

bool TSavedRecordingsWin::eventFilter(QObject* watched, QEvent* event) {
    // The first press of a double click has already selected the row under the mouse; a double
    // click anywhere in the list acts on the selection.
    if (watched == RecordingsList->viewport() && event->type() == QEvent::MouseButtonDblClick)
        RecordingsListDblClick();
    return QDialog::eventFilter(watched, event);
}

void TSavedRecordingsWin::FormShow() {
    RecordingsList->clear();
    for (const TSavedRecordingsInfo& entry : SavedRecordingsList) {
        // Size and length come from the file itself and are left empty when it is gone or
        // cannot be read; the list file does not store them.
        QString size = entry.t_Size;
        QString time = entry.t_Time;
        const QFileInfo info(entry.t_LocalFile);
        if (!entry.t_LocalFile.isEmpty() && info.isFile()) {
            if (size.isEmpty())
                size = FormatFileSize(info.size());
            if (time.isEmpty())
                if (const auto us = MediaDurationUs(entry.t_LocalFile))
                    time = FormatDuration(*us);
        }
        auto* row = new QTreeWidgetItem(
            RecordingsList, {entry.t_LocalFile, size, time, entry.t_type, entry.t_Date});
        row->setToolTip(0, entry.t_LocalFile);
    }
}

void TSavedRecordingsWin::RecordingsListDblClick() {
    const QList<QTreeWidgetItem*> selected = RecordingsList->selectedItems();
    if (selected.size() != 1)
        return;
    ShellOpenPath(selected.first()->text(0));
}

void TSavedRecordingsWin::ButtCloseClick() {
    close();
}
