#include "video/capture/v4l2/V4l2CaptureService.h"

#include "video/capture/v4l2/V4l2CaptureWindow.h"

namespace vocalyn::video::v4l2 {

std::unique_ptr<CaptureWindow> V4l2CaptureService::CreateCaptureWindow(const QString& windowName,
                                                                       QWidget* parent,
                                                                       const QRect& geometry,
                                                                       int /*id*/) {
    if (!parent)
        return nullptr;
    return std::make_unique<V4l2CaptureWindow>(parent, geometry, windowName, pathPattern_);
}

} // namespace vocalyn::video::v4l2
