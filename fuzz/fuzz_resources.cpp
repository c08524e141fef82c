// The fuzz build's resource table: empty, so no compiled-in bitmap answers for a fuzzed name.
#include "platform/src/platform.h"

const EmbeddedResource kEmbeddedResources[1] = {};
const unsigned int kEmbeddedResourceCount = 0;
