#include "shells/Kinds.h"

#include "shells/FireBotan.h"
#include "shells/FireHachi.h"
#include "shells/FireHiyuusei.h"
#include "shells/FireKiku.h"
#include "shells/FireKiku3.h"

namespace moonglow {

std::unique_ptr<TFire> NewFire(TFireKind kind, TShowEnv& env) {
  switch (kind) {
    case TFireKind::Kiku:
      return std::make_unique<TFireKiku>(env);
    case TFireKind::Kiku3:
      return std::make_unique<TFireKiku3>(env);
    case TFireKind::Botan:
      return std::make_unique<TFireBotan>(env);
    case TFireKind::Hiyuusei:
      return std::make_unique<TFireHiyuusei>(env);
    case TFireKind::Hachi:
      return std::make_unique<TFireHachi>(env);
  }
  return nullptr;
}

}  // namespace moonglow
