// Gives the Xorg dummy video driver a display power hook, so that a real X
// server without a monitor offers DPMS and `xset dpms force off` really changes
// the power level that clients read.
//
// The X server offers DPMS only when a screen has a power hook, and only
// drivers for real hardware install one; the dummy driver does not. This
// library is loaded into the server as a glibc audit module
// (LD_AUDIT=libXorgDpmsHook.so Xorg ...): it catches the dummy driver's call
// to xf86CrtcScreenInit, the point where a driver with outputs to switch
// would install its hook, and installs a hook that does nothing, as there is
// no monitor to switch. Everything a client sees (the extension, the power
// level, the screen blanking while it is off) is the server's own.
//
// No X server headers are needed: the server's functions take the screen as
// an opaque pointer, and xf86DPMSInit is looked up in the server's own
// dynamic symbol table.

#include <elf.h>
#include <link.h>

#include <cstdint>
#include <cstring>

namespace {

using Bool = int;
using ScreenInitProc = Bool (*)(void* screen);
using PowerSetProc = void (*)(void* scrn, int level, int flags);
using PowerInitProc = Bool (*)(void* screen, PowerSetProc set, int flags);

link_map* Server = nullptr;
ScreenInitProc CrtcScreenInit = nullptr;

// A symbol the server exports, through its GNU hash table; null when absent.
const ElfW(Sym) * ServerSymbol(const char* name) {
  const ElfW(Sym)* symbols = nullptr;
  const char* strings = nullptr;
  const std::uint32_t* hash = nullptr;
  for (const ElfW(Dyn)* d = Server->l_ld; d->d_tag != DT_NULL; ++d) {
    if (d->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const ElfW(Sym)*>(d->d_un.d_ptr);
    if (d->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(d->d_un.d_ptr);
    if (d->d_tag == DT_GNU_HASH) hash = reinterpret_cast<const std::uint32_t*>(d->d_un.d_ptr);
  }
  if (!symbols || !strings || !hash) return nullptr;
  const std::uint32_t buckets = hash[0];
  const std::uint32_t first = hash[1];
  const std::uint32_t bloomWords = hash[2];
  const std::uint32_t* bucket = hash + 4 + bloomWords * (sizeof(ElfW(Addr)) / 4);
  const std::uint32_t* chain = bucket + buckets;
  std::uint32_t h = 5381;
  for (const char* c = name; *c; ++c) h = h * 33 + static_cast<unsigned char>(*c);
  std::uint32_t i = bucket[h % buckets];
  if (i < first) return nullptr;
  for (;; ++i) {
    const std::uint32_t link = chain[i - first];
    if ((link | 1) == (h | 1) && std::strcmp(strings + symbols[i].st_name, name) == 0)
      return &symbols[i];
    if (link & 1) return nullptr;
  }
}

// There is no monitor: the server keeps the power level itself.
void SetPower(void*, int, int) {}

Bool ScreenInitWithPower(void* screen) {
  const Bool ok = CrtcScreenInit(screen);
  if (ok && Server) {
    if (const ElfW(Sym)* init = ServerSymbol("xf86DPMSInit"))
      reinterpret_cast<PowerInitProc>(Server->l_addr + init->st_value)(screen, SetPower, 0);
  }
  return ok;
}

}  // namespace

extern "C" unsigned la_version(unsigned version) {
  return version < LAV_CURRENT ? version : LAV_CURRENT;
}

// Only the dummy driver's calls into the server are watched.
extern "C" unsigned la_objopen(link_map* map, Lmid_t, std::uintptr_t*) {
  if (map->l_name[0] == '\0') {
    Server = map;
    return LA_FLG_BINDTO;
  }
  return std::strstr(map->l_name, "/dummy_drv.so") ? LA_FLG_BINDFROM : 0;
}

extern "C" std::uintptr_t la_symbind64(ElfW(Sym) * symbol, unsigned, std::uintptr_t*,
                                       std::uintptr_t*, unsigned*, const char* name) {
  if (std::strcmp(name, "xf86CrtcScreenInit") != 0) return symbol->st_value;
  CrtcScreenInit = reinterpret_cast<ScreenInitProc>(symbol->st_value);
  return reinterpret_cast<std::uintptr_t>(&ScreenInitWithPower);
}
