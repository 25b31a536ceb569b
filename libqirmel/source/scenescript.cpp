#include "source/scenescript.h"

#include "source/photoscene.h"
#include "source/syntheticscene.h"

namespace qirmel {

std::unique_ptr<SceneScript> SceneScript::create(const SceneConfig &config)
{
    if (config.kind == SceneKind::Photo || config.kind == SceneKind::PhotoFolder)
        return std::make_unique<PhotoScene>(config.photos);
    return std::make_unique<SyntheticScene>(config.kind);
}

}  // namespace qirmel
