// The protocols the Wayland window speaks (their generated client code) and
// the two helpers every part of it uses with them.
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <type_traits>

#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

// A listener's handler for an event that this program has no use for.
template <typename... Arguments>
void Ignore(void*, Arguments...) {}

// Lets Thing go with the request that tells the compositor so, where the
// version bound has it; older versions have only the client's destroy.
template <typename Object>
void LetGo(Object* Thing, std::uint32_t Since, std::type_identity_t<void (*)(Object*)> Release,
           std::type_identity_t<void (*)(Object*)> Destroy) {
  (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(Thing)) >= Since ? Release : Destroy)(Thing);
}
