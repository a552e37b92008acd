#pragma once

#include <QColor>
#include <QWidget>

namespace vocalyn {

// A plain panel with its caption centred, as placeholder panels show it
// until a child covers them.
class CaptionPanel : public QWidget {
    Q_OBJECT
public:
    explicit CaptionPanel(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return caption_; }
    void setBackground(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption_;
    QColor background_{Qt::white};
};

} // namespace vocalyn
