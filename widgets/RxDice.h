#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

namespace vocalyn {

// A die that rolls while told to, showing a new face every 60 ms. Stopped, it keeps the face it
// shows; it starts at rest on face 1.
class RxDice : public QWidget {
    Q_OBJECT
public:
    // Draws a face from 1 to 6. Tests give their own to make the roll deterministic.
    using FaceSource = std::function<int()>;

    static constexpr int kSize = 66;
    static constexpr int kRollInterval_ms = 60;

    explicit RxDice(QWidget* parent = nullptr);

    void SetFaceSource(FaceSource source);

    int Value() const { return value_; }
    // Shows a face; values outside 1 to 6 are clamped.
    void SetValue(int face);

    bool Rotate() const { return timer_.isActive(); }
    // Starts or stops rolling; starting a rolling die changes nothing.
    void SetRotate(bool rolling);

    // One step of the roll: a fresh draw that never repeats the face shown.
    void Roll();

    // The face after `current` for a draw: the draw itself unless it repeats the current face,
    // then one lower, or 2 when the current face is 1.
    static int NextFace(int current, int draw);

    QSize sizeHint() const override { return {kSize, kSize}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    FaceSource source_;
    QTimer timer_;
    int value_ = 1;
};

} // namespace vocalyn
