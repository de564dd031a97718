#include "shells/Kinds.h"

#include "shells/FireBotan.h"

namespace moonglow {

std::unique_ptr<TFire> NewFire(TFireKind kind, TShowEnv& env) {
  switch (kind) {
    case TFireKind::Kiku:
      return std::make_unique<TFireBotan>(env);
    case TFireKind::Kiku3:
      return std::make_unique<TFireBotan>(env);
    case TFireKind::Botan:
      return std::make_unique<TFireBotan>(env);
    case TFireKind::Hiyuusei:
      return std::make_unique<TFireBotan>(env);
    case TFireKind::Hachi:
      return std::make_unique<TFireBotan>(env);
  }
  return nullptr;
}

}  // namespace moonglow
