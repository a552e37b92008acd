#pragma once

#include "video/capture/CaptureService.h"

namespace vocalyn::video::v4l2 {

// The capture service on V4L2 devices: driver index N is the node the path
// pattern makes of N, /dev/videoN unless told otherwise.
class V4l2CaptureService final : public CaptureService {
public:
    explicit V4l2CaptureService(QString pathPattern = QStringLiteral("/dev/video%1"))
        : pathPattern_(std::move(pathPattern)) {}

    std::unique_ptr<CaptureWindow> CreateCaptureWindow(const QString& windowName, QWidget* parent,
                                                       const QRect& geometry, int id) override;

private:
    QString pathPattern_;
};

} // namespace vocalyn::video::v4l2
