// The main window's side of the new-version check: the three messages and the boxes they show.
#include "RururiVevaDedizirFrm.h"

#include "AppState.h"

#include <QMessageBox>

namespace {

// Boxes captioned with the application title, owned by the main window.
class TNewVersionMessageBoxes final : public INewVersionPrompts {
public:
    explicit TNewVersionMessageBoxes(QWidget* owner) : FOwner(owner) {}

    bool AskYesNo(const QString& text) override {
        QMessageBox box(QMessageBox::Question, Caption(), ShownText(text),
                        QMessageBox::Yes | QMessageBox::No, FOwner);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes;
    }

    void ShowMessage(const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, Caption(), ShownText(text), QMessageBox::Ok, FOwner);
        // "<Kestrovane Video Capture>" would otherwise be taken for a tag and vanish.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

private:
    static QString Caption() {
        return AppTitle.isEmpty() ? QStringLiteral("Kestrovane Video Capture") : AppTitle;
    }
    // A label breaks the line at "\n"; a carriage return before it would show as a blank.
    static QString ShownText(QString text) { return text.replace(QStringLiteral("\r\n"), "\n"); }

    QWidget* FOwner;
};

} // namespace

std::unique_ptr<INewVersionPrompts> TfrmRururiVevaDedizir::NewVersionMessageBoxes(QWidget* owner) {
    return std::make_unique<TNewVersionMessageBoxes>(owner);
}

void TfrmRururiVevaDedizir::PostCheckNewVersion(int wParam) {
    PostWindowMessage(this, WM_CHECK_NEW_VERSION, wParam, 0);
}

void TfrmRururiVevaDedizir::WMCheckNewVersion(int wParam) {
    FNewVersionCheck->Start(wParam);
}

void TfrmRururiVevaDedizir::WMNewVersionFound() {
    ReactNewVersionFound(*NewVersionPrompts);
}

void TfrmRururiVevaDedizir::WMIsLatestVersion() {
    ReactIsLatestVersion(*NewVersionPrompts);
}

void TfrmRururiVevaDedizir::customEvent(QEvent* event) {
    if (auto* msg = dynamic_cast<TWindowMessage*>(event)) {
        switch (msg->Msg()) {
        case WM_CHECK_NEW_VERSION:
            WMCheckNewVersion(msg->WParam);
            return;
        case WM_NEW_VERSION_FOUND:
            WMNewVersionFound();
            return;
        case WM_IS_LATEST_VERSION:
            WMIsLatestVersion();
            return;
        }
    }
    QWidget::customEvent(event);
}
