#include "app/Assets.h"

#include <QtGlobal>

static void InitAssetsResource() {
    Q_INIT_RESOURCE(assets);
}

namespace vocalyn {

void InitAssets() {
    static const bool done = (InitAssetsResource(), true);
    (void)done;
}

} // namespace vocalyn
