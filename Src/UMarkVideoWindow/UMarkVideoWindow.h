// The Mark video window: a semi-transparent, frameless, sizable window that the user moves and
// sizes over the part of the screen to record. While it is shown, every move and resize puts
// its rectangle into RecorderOptions and the main window's info line at once.
#pragma once

#include <QWidget>

#include <cstdint>

class QPushButton;
class TWindowDrag;

class TMarkVideoWindow : public QWidget {
    Q_OBJECT
public:
    explicit TMarkVideoWindow(QWidget* parent = nullptr);

    QPushButton* ButtAccept;
    QPushButton* Buttcancel;

    // RecorderOptions' rectangle as it was when the window was created.
    int32_t m_OldTop = 0;
    int32_t m_OldLeft = 0;
    int32_t m_OldWidth = 0;
    int32_t m_OldHeight = 0;

    void ButtAcceptClick();
    // Closes the window and puts back the rectangle and info line of the moment it was shown.
    void ButtcancelClick();
    // Writes the window's rectangle into RecorderOptions and the info line.
    void UpdateRect();

    // "x,y,w,h" in the order RecTop, RecLeft, RecWidth, RecHeight.
    static QString RectText(int32_t top, int32_t left, int32_t width, int32_t height);

    // Width of the band along each edge that sizes the window.
    static constexpr int SizingBand = 6;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Edges EdgesAt(QPoint pos) const;

    bool m_Placed = false;
    bool m_Showing = false;
    // What Cancel puts back: the rectangle and info line when the window was last shown.
    int32_t m_ShownTop = 0;
    int32_t m_ShownLeft = 0;
    int32_t m_ShownWidth = 0;
    int32_t m_ShownHeight = 0;
    QString m_ShownInfotext;
};

extern TMarkVideoWindow* MarkVideoWindow;
