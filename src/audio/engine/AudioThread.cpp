#include "audio/engine/AudioThread.h"

namespace kelvra::audio::engine {
namespace {
thread_local ThreadRole currentRole = ThreadRole::Control;
}  // namespace

ThreadRole threadRole() {
    return currentRole;
}

ThreadRoleScope::ThreadRoleScope(ThreadRole role) : previous_(currentRole) {
    currentRole = role;
}

ThreadRoleScope::~ThreadRoleScope() {
    currentRole = previous_;
}

}  // namespace kelvra::audio::engine
