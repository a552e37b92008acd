#pragma once

#include <QColor>
#include <QWidget>

namespace vocalyn {

// A background panel with rounded corners, a border and a caption drawn at
// its top left. Pressing a mouse button on it emits MousePressed (windows
// without a frame are dragged by it).
class RoundedPanel : public QWidget {
    Q_OBJECT
public:
    explicit RoundedPanel(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setCaptionColor(const QColor& color);
    void setCaptionFont(const QFont& font);
    void setCornerWidth(int width);
    void setBorder(int width, const QColor& color);
    void setBackground(const QColor& color);

signals:
    void MousePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString caption_;
    QColor captionColor_{Qt::black};
    QFont captionFont_;
    int cornerWidth_ = 40;
    int borderWidth_ = 0;
    QColor borderColor_{Qt::gray};
    QColor background_{Qt::black};
};

} // namespace vocalyn
