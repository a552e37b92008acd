#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vocalyn::video {

// A video datagram longer than one IP packet travels as fragments, and one lost fragment loses
// the picture; worse, the kernel keeps the fragments of an incomplete datagram for half a minute
// in a few megabytes, and refuses every fragment once they are full. So on a lossy line the
// pictures must span few fragments.

// The payload of one IPv4 fragment on an Ethernet or Wi-Fi link (1500-byte packets).
inline constexpr std::size_t kFragmentPayload = 1480;

// How many fragments a video datagram of `bytes` takes (its UDP header rides in the first).
std::size_t FragmentsOf(std::size_t bytes);

// Guesses the share of fragments lost on the way here from the pictures that arrive: the peer's
// camera sends at a steady rate, so a frame slot without a picture is a picture lost, and a
// picture of n fragments arrives with (1 - p)^n. Times are when the pictures were read, on a
// steady clock; not thread-safe.
class PictureArrivals {
public:
    void Arrived(std::size_t bytes, std::int64_t now_us);
    // 0 to 1; 0 when nothing arrived lately (no pictures say nothing about the line), and below
    // 1 %, which a sender that skips a frame now and then when busy looks like.
    double FragmentLoss(std::int64_t now_us) const;

private:
    double GapAt(int percent) const; // that percentile of the recent gaps
    void LearnFrameTime(std::int64_t gap);

    bool started_ = false;
    std::int64_t last_us_ = 0;
    double slot_us_ = 0;  // the frame slot of the last picture
    double frame_us_ = 0; // the camera's frame time; 0 until learnt
    // The recent gaps between pictures, for a first guess at the camera's frame time.
    std::array<std::int64_t, 31> gaps_{};
    std::size_t nextGap_ = 0;
    std::size_t gapCount_ = 0;
    double frameLoss_ = 0; // share of pictures lost, smoothed
    double fragments_ = 1; // fragments per picture, smoothed
};

// The byte budget of each picture sent for a share `loss` of fragments lost: all a datagram can
// carry on a clean line; with loss, as many fragments as still let most pictures through. It
// shrinks at once and grows back a fragment at a time, so that a short clean spell on a bad line
// does not send the large pictures straight back into the loss.
class PictureBudget {
public:
    // The budget for the next picture.
    std::size_t Next(double loss);

private:
    std::size_t budget_ = 0; // 0: not yet set
    int cleanFrames_ = 0;
};

} // namespace vocalyn::video
