// The process's one media engine, for the API functions of the media side.
#pragma once

#include "media/media_engine.h"

namespace voice::media {

MediaEngine& engine();

}  // namespace voice::media
