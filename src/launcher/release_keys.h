// The release keys this build accepts: the public keys, as PEM texts, of
// the build's ZM_RELEASE_KEYS, compiled into the executable. Empty in a build
// configured without keys, whose updater takes manifests unsigned (for tests
// of that path only). Any thread may call it.
#pragma once

#include <string>
#include <vector>

const std::vector<std::string>& EmbeddedReleaseKeys();
