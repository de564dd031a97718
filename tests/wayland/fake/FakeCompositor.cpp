#include "tests/wayland/fake/FakeCompositor.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <thread>

#include "fractional-scale-v1-server-protocol.h"
#include "viewporter-server-protocol.h"
#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#include "xdg-output-unstable-v1-server-protocol.h"

namespace moonglow::testing {

int TLayerRecord::LitPixels() const {
  return static_cast<int>(std::count_if(Picture.begin(), Picture.end(),
                                        [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
}

namespace {

using TClock = std::chrono::steady_clock;

const char* const SocketFile = "wayland-fake";
constexpr int FrameIntervalMs = 16;

struct TRect {
  int32_t X, Y, Width, Height;
};

// A buffer a surface holds on to, forgotten when the client destroys it.
// The listener comes first so that the notify can find its watch.
struct TBufferWatch {
  wl_listener Listener{};
  wl_resource* Buffer = nullptr;

  TBufferWatch() {
    wl_list_init(&Listener.link);
    Listener.notify = &Gone;
  }
  ~TBufferWatch() { wl_list_remove(&Listener.link); }
  TBufferWatch(const TBufferWatch&) = delete;
  TBufferWatch& operator=(const TBufferWatch&) = delete;

  void Set(wl_resource* buffer) {
    wl_list_remove(&Listener.link);
    wl_list_init(&Listener.link);
    Buffer = buffer;
    if (buffer) wl_resource_add_destroy_listener(buffer, &Listener);
  }

  static void Gone(wl_listener* listener, void*) {
    wl_list_remove(&listener->link);
    wl_list_init(&listener->link);
    reinterpret_cast<TBufferWatch*>(listener)->Buffer = nullptr;
  }
};

struct TLayer;

struct TSurface {
  TFakeCompositor::TState* State = nullptr;
  wl_resource* Resource = nullptr;
  bool Attached = false;
  TBufferWatch Pending;
  std::list<TBufferWatch> Held;     // committed and not released yet, oldest first
  std::vector<uint32_t> LastShown;  // the newest buffer's pixels when committed
  std::vector<TRect> BufferDamage;
  std::vector<TRect> SurfaceDamage;
  int PendingScale = 1;
  int Scale = 1;
  bool PendingOpaque = false;
  int PendingViewportWidth = -1, PendingViewportHeight = -1;
  TLayer* Layer = nullptr;
  wl_resource* FractionalScale = nullptr;
  wl_resource* Viewport = nullptr;
};

struct TLayer {
  TFakeCompositor::TState* State = nullptr;
  wl_resource* Resource = nullptr;
  TSurface* Surface = nullptr;
  size_t Record = 0;
  uint32_t Serial = 0;
  bool Configured = false;
  bool Acked = false;
  uint32_t RequestedWidth = 0, RequestedHeight = 0;
};

struct TOutputGlobal {
  TFakeCompositor::TState* State = nullptr;
  size_t Index = 0;
  wl_global* Global = nullptr;
  std::vector<wl_resource*> Resources;
};

struct TCallback {
  TSurface* Surface = nullptr;  // null once its surface is gone
  bool Committed = false;
};

int ElapsedMs(TClock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - since).count());
}

uint32_t NowMs() {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch())
          .count());
}

template <class T>
T* Data(wl_resource* resource) {
  return static_cast<T*>(wl_resource_get_user_data(resource));
}

void DestroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

}  // namespace

struct TFakeCompositor::TState {
  TFakeOptions Options;
  wl_display* Display = nullptr;
  wl_event_loop* Loop = nullptr;
  wl_event_source* FrameTimer = nullptr;
  std::string RuntimeDir;
  bool OwnRuntimeDir = false;
  std::string SocketName = SocketFile;
  bool Ok = false;

  std::deque<TFakeOutput> Outputs;
  std::deque<TOutputGlobal> OutputGlobals;
  std::deque<TLayerRecord> Records;
  std::vector<TLayer*> Layers;
  std::vector<TSurface*> Surfaces;
  std::map<wl_resource*, TCallback> Callbacks;
  std::vector<wl_resource*> Keyboards, Pointers;
  std::map<wl_resource*, wl_resource*> Focus;  // keyboard or pointer → surface
  std::vector<std::pair<wl_global*, TClock::time_point>> DoomedGlobals;

  bool Withhold = false;
  int StallNext = 0;
  TClock::time_point StallUntil{};
  uint32_t Serial = 1;

  // The configure size of a layer surface on `output`: as large as the
  // output in surface units where the client asked for that (0).
  void Configure(TLayer& layer) {
    TLayerRecord& record = Records[layer.Record];
    uint32_t width = layer.RequestedWidth, height = layer.RequestedHeight;
    if (record.Output >= 0 && (width == 0 || height == 0)) {
      const TFakeOutputMode& mode = Outputs[static_cast<size_t>(record.Output)].Mode;
      const int scale120 = mode.Scale120 ? mode.Scale120 : mode.Scale * 120;
      if (width == 0) width = static_cast<uint32_t>(mode.Width * 120 / scale120);
      if (height == 0) height = static_cast<uint32_t>(mode.Height * 120 / scale120);
    }
    if (width == 0) width = 640;
    if (height == 0) height = 480;
    SendConfigure(layer, width, height);
  }

  void SendConfigure(TLayer& layer, uint32_t width, uint32_t height) {
    TLayerRecord& record = Records[layer.Record];
    record.ConfiguredWidth = width;
    record.ConfiguredHeight = height;
    layer.Serial = Serial++;
    layer.Configured = true;
    if (layer.Surface && layer.Surface->FractionalScale && record.Output >= 0) {
      const TFakeOutputMode& mode = Outputs[static_cast<size_t>(record.Output)].Mode;
      wp_fractional_scale_v1_send_preferred_scale(
          layer.Surface->FractionalScale,
          static_cast<uint32_t>(mode.Scale120 ? mode.Scale120 : mode.Scale * 120));
    }
    zwlr_layer_surface_v1_send_configure(layer.Resource, layer.Serial, width, height);
    if (StallNext > 0) {
      wl_client_flush(wl_resource_get_client(layer.Resource));
      StallUntil = TClock::now() + std::chrono::milliseconds(StallNext);
      StallNext = 0;
    }
  }

  void Commit(TSurface& surface) {
    surface.Scale = surface.PendingScale;
    for (auto& [resource, callback] : Callbacks) {
      if (callback.Surface == &surface) callback.Committed = true;
    }
    wl_resource* buffer = surface.Attached ? surface.Pending.Buffer : nullptr;
    surface.Pending.Set(nullptr);
    TLayer* layer = surface.Layer;
    if (layer) {
      TLayerRecord& record = Records[layer->Record];
      record.BufferScale = surface.Scale;
      record.OpaqueRegion = surface.PendingOpaque;
      record.ViewportWidth = surface.PendingViewportWidth;
      record.ViewportHeight = surface.PendingViewportHeight;
      const int damage =
          static_cast<int>(surface.BufferDamage.size() + surface.SurfaceDamage.size());
      record.DamageRequests += damage;
      record.MaxDamagePerCommit = std::max(record.MaxDamagePerCommit, damage);
      if (buffer) {
        if (!layer->Acked) record.CommitBeforeAck = true;
        ++record.BufferCommits;
        record.Buffers.insert(reinterpret_cast<uintptr_t>(buffer));
        // The buffer shown last is still the compositor's: drawing into it
        // before its release changes what is on screen.
        if (Options.CheckPixels && !surface.Held.empty() && surface.Held.back().Buffer &&
            surface.Held.back().Buffer != buffer)
          record.BusyBufferWrites += Differences(surface.Held.back().Buffer, surface.LastShown);
        Read(surface, buffer, record);
      } else {
        ++record.EmptyCommits;
      }
      if (!layer->Configured) Configure(*layer);
    }
    if (surface.Attached) Hold(surface, buffer);
    surface.Attached = false;
    surface.BufferDamage.clear();
    surface.SurfaceDamage.clear();
  }

  // Keeps the newest buffers, as many as the options say, and releases the
  // others; a commit without a buffer releases them all.
  void Hold(TSurface& surface, wl_resource* buffer) {
    surface.Held.remove_if([buffer](const TBufferWatch& w) { return w.Buffer == buffer; });
    if (buffer) surface.Held.emplace_back().Set(buffer);
    const size_t keep = buffer ? static_cast<size_t>(Options.HeldBuffers) : 0;
    while (surface.Held.size() > keep) {
      if (surface.Held.front().Buffer) wl_buffer_send_release(surface.Held.front().Buffer);
      surface.Held.pop_front();
    }
  }

  // The pixels of `buffer` that are not as `pixels` has them.
  static int64_t Differences(wl_resource* buffer, const std::vector<uint32_t>& pixels) {
    wl_shm_buffer* shm = wl_shm_buffer_get(buffer);
    if (!shm) return 0;
    const int width = wl_shm_buffer_get_width(shm), height = wl_shm_buffer_get_height(shm);
    if (pixels.size() != static_cast<size_t>(width) * height) return 0;
    const int stride = wl_shm_buffer_get_stride(shm);
    int64_t count = 0;
    wl_shm_buffer_begin_access(shm);
    const auto* bytes = static_cast<const uint8_t*>(wl_shm_buffer_get_data(shm));
    for (int y = 0; y < height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(bytes + y * stride);
      for (int x = 0; x < width; ++x)
        count += ((row[x] ^ pixels[size_t(y) * width + x]) & 0xFFFFFF) != 0;
    }
    wl_shm_buffer_end_access(shm);
    return count;
  }

  // Lets the damage of this commit through to the picture, and counts the
  // pixels that changed outside it.
  void Read(TSurface& surface, wl_resource* buffer, TLayerRecord& record) {
    wl_shm_buffer* shm = wl_shm_buffer_get(buffer);
    if (!shm) {
      record.WrongFormat = true;
      return;
    }
    if (wl_shm_buffer_get_format(shm) != WL_SHM_FORMAT_XRGB8888) record.WrongFormat = true;
    const int width = wl_shm_buffer_get_width(shm), height = wl_shm_buffer_get_height(shm);
    const int stride = wl_shm_buffer_get_stride(shm);
    const bool resized = width != record.BufferWidth || height != record.BufferHeight;
    record.BufferWidth = width;
    record.BufferHeight = height;
    if (!Options.CheckPixels) return;
    wl_shm_buffer_begin_access(shm);
    const auto* bytes = static_cast<const uint8_t*>(wl_shm_buffer_get_data(shm));
    const auto row = [&](int y) { return reinterpret_cast<const uint32_t*>(bytes + y * stride); };
    std::vector<uint32_t>& picture = record.Picture;
    if (resized || picture.size() != static_cast<size_t>(width) * height) {
      // A buffer of a new size is shown whole.
      picture.resize(static_cast<size_t>(width) * height);
      for (int y = 0; y < height; ++y) std::copy_n(row(y), width, &picture[size_t(y) * width]);
    } else {
      std::vector<TRect> damage = surface.BufferDamage;
      for (const TRect& r : surface.SurfaceDamage) {
        const int64_t s = surface.Scale;
        damage.push_back({static_cast<int32_t>(std::clamp<int64_t>(r.X * s, INT_MIN, INT_MAX)),
                          static_cast<int32_t>(std::clamp<int64_t>(r.Y * s, INT_MIN, INT_MAX)),
                          static_cast<int32_t>(std::min<int64_t>(r.Width * s, INT_MAX)),
                          static_cast<int32_t>(std::min<int64_t>(r.Height * s, INT_MAX))});
      }
      for (const TRect& r : damage) {
        const int x0 = std::max(0, r.X), y0 = std::max(0, r.Y);
        const int x1 = static_cast<int>(std::min<int64_t>(width, int64_t(r.X) + r.Width));
        const int y1 = static_cast<int>(std::min<int64_t>(height, int64_t(r.Y) + r.Height));
        for (int y = y0; y < y1; ++y)
          std::copy(row(y) + x0, row(y) + std::max(x0, x1), &picture[size_t(y) * width + x0]);
      }
      for (int y = 0; y < height; ++y) {
        const uint32_t* shown = &picture[size_t(y) * width];
        const uint32_t* drawn = row(y);
        for (int x = 0; x < width; ++x) {
          if ((shown[x] ^ drawn[x]) & 0xFFFFFF) ++record.UndamagedChanges;
        }
      }
    }
    surface.LastShown.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
      std::copy_n(row(y), width, &surface.LastShown[size_t(y) * width]);
    wl_shm_buffer_end_access(shm);
  }

  void SendFrameCallbacks() {
    if (Withhold) return;
    std::vector<wl_resource*> due;
    for (auto& [resource, callback] : Callbacks) {
      if (callback.Committed) due.push_back(resource);
    }
    const uint32_t now = NowMs();
    for (wl_resource* resource : due) {
      wl_callback_send_done(resource, now);
      wl_resource_destroy(resource);
    }
  }

  TLayer* LiveLayer(int record) {
    for (TLayer* layer : Layers) {
      if (layer->Record == static_cast<size_t>(record) && layer->Surface) return layer;
    }
    return nullptr;
  }

  // Moves the focus of `device` to `surface`, with the events that say so;
  // false when it already was there.
  bool MoveFocus(wl_resource* device, wl_resource* surface) {
    wl_resource*& focus = Focus[device];
    return focus != surface && (focus = surface, true);
  }

  void ForgetSurface(wl_resource* surface) {
    for (auto& [device, focus] : Focus) {
      if (focus == surface) focus = nullptr;
    }
  }
};

namespace {

using TState = TFakeCompositor::TState;

// ---- wl_region ----------------------------------------------------------

const struct wl_region_interface RegionImpl = {
    .destroy = DestroyResource,
    .add = [](wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {},
    .subtract = [](wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {},
};

// ---- wl_surface ---------------------------------------------------------

void SurfaceGone(wl_resource* resource) {
  TSurface* surface = Data<TSurface>(resource);
  TState& state = *surface->State;
  if (surface->Layer) surface->Layer->Surface = nullptr;
  for (auto& [callback, entry] : state.Callbacks) {
    if (entry.Surface == surface) entry.Surface = nullptr;
  }
  state.ForgetSurface(resource);
  if (surface->FractionalScale) wl_resource_set_user_data(surface->FractionalScale, nullptr);
  if (surface->Viewport) wl_resource_set_user_data(surface->Viewport, nullptr);
  std::erase(state.Surfaces, surface);
  delete surface;
}

void CallbackGone(wl_resource* resource) { Data<TState>(resource)->Callbacks.erase(resource); }

const struct wl_surface_interface SurfaceImpl = {
    .destroy = DestroyResource,
    .attach =
        [](wl_client*, wl_resource* resource, wl_resource* buffer, int32_t, int32_t) {
          TSurface* surface = Data<TSurface>(resource);
          surface->Attached = true;
          surface->Pending.Set(buffer);
        },
    .damage =
        [](wl_client*, wl_resource* resource, int32_t x, int32_t y, int32_t width, int32_t height) {
          Data<TSurface>(resource)->SurfaceDamage.push_back({x, y, width, height});
        },
    .frame =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          TSurface* surface = Data<TSurface>(resource);
          wl_resource* callback = wl_resource_create(client, &wl_callback_interface, 1, id);
          if (!callback) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(callback, nullptr, surface->State, CallbackGone);
          surface->State->Callbacks[callback] = TCallback{surface, false};
        },
    .set_opaque_region =
        [](wl_client*, wl_resource* resource, wl_resource* region) {
          Data<TSurface>(resource)->PendingOpaque = region != nullptr;
        },
    .set_input_region = [](wl_client*, wl_resource*, wl_resource*) {},
    .commit =
        [](wl_client*, wl_resource* resource) {
          TSurface* surface = Data<TSurface>(resource);
          surface->State->Commit(*surface);
        },
    .set_buffer_transform = [](wl_client*, wl_resource*, int32_t) {},
    .set_buffer_scale = [](wl_client*, wl_resource* resource,
                           int32_t scale) { Data<TSurface>(resource)->PendingScale = scale; },
    .damage_buffer =
        [](wl_client*, wl_resource* resource, int32_t x, int32_t y, int32_t width, int32_t height) {
          Data<TSurface>(resource)->BufferDamage.push_back({x, y, width, height});
        },
    .offset = nullptr,  // version 5; the global is offered at 4
};

const struct wl_compositor_interface CompositorImpl = {
    .create_surface =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          wl_resource* r = wl_resource_create(client, &wl_surface_interface,
                                              wl_resource_get_version(resource), id);
          if (!r) return wl_client_post_no_memory(client);
          auto* surface = new TSurface;
          surface->State = Data<TState>(resource);
          surface->Resource = r;
          surface->State->Surfaces.push_back(surface);
          wl_resource_set_implementation(r, &SurfaceImpl, surface, SurfaceGone);
        },
    .create_region =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          wl_resource* r = wl_resource_create(client, &wl_region_interface,
                                              wl_resource_get_version(resource), id);
          if (!r) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(r, &RegionImpl, nullptr, nullptr);
        },
};

void BindCompositor(wl_client* client, void* data, uint32_t version, uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wl_compositor_interface, std::min(version, 4u), id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &CompositorImpl, data, nullptr);
}

// ---- wl_output ----------------------------------------------------------

void OutputResourceGone(wl_resource* resource) {
  if (auto* output = Data<TOutputGlobal>(resource)) std::erase(output->Resources, resource);
}

const struct wl_output_interface OutputImpl = {.release = DestroyResource};

void BindOutput(wl_client* client, void* data, uint32_t version, uint32_t id) {
  auto* output = static_cast<TOutputGlobal*>(data);
  const int v = static_cast<int>(std::min(version, 4u));
  wl_resource* r = wl_resource_create(client, &wl_output_interface, v, id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &OutputImpl, output, OutputResourceGone);
  output->Resources.push_back(r);
  const TFakeOutputMode& mode = output->State->Outputs[output->Index].Mode;
  int x = 0;
  for (size_t i = 0; i < output->Index; ++i) x += output->State->Outputs[i].Mode.Width;
  wl_output_send_geometry(r, x, 0, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "fake", "fake",
                          WL_OUTPUT_TRANSFORM_NORMAL);
  wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT | WL_OUTPUT_MODE_PREFERRED, mode.Width, mode.Height,
                      60000);
  if (v >= 2) wl_output_send_scale(r, mode.Scale);
  if (v >= 4) {
    wl_output_send_name(r, mode.Name.c_str());
    wl_output_send_description(r, ("fake output " + mode.Name).c_str());
  }
  if (v >= 2) wl_output_send_done(r);
}

// ---- xdg-output ---------------------------------------------------------

const struct zxdg_output_v1_interface XdgOutputImpl = {.destroy = DestroyResource};

const struct zxdg_output_manager_v1_interface XdgOutputManagerImpl = {
    .destroy = DestroyResource,
    .get_xdg_output =
        [](wl_client* client, wl_resource* resource, uint32_t id, wl_resource* outputResource) {
          const int v = wl_resource_get_version(resource);
          wl_resource* r = wl_resource_create(client, &zxdg_output_v1_interface, v, id);
          if (!r) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(r, &XdgOutputImpl, nullptr, nullptr);
          auto* output = Data<TOutputGlobal>(outputResource);
          if (!output) return;
          const TFakeOutputMode& mode = output->State->Outputs[output->Index].Mode;
          const int scale120 = mode.Scale120 ? mode.Scale120 : mode.Scale * 120;
          int x = 0;
          for (size_t i = 0; i < output->Index; ++i) {
            const TFakeOutputMode& m = output->State->Outputs[i].Mode;
            x += m.Width * 120 / (m.Scale120 ? m.Scale120 : m.Scale * 120);
          }
          zxdg_output_v1_send_logical_position(r, x, 0);
          zxdg_output_v1_send_logical_size(r, mode.Width * 120 / scale120,
                                           mode.Height * 120 / scale120);
          if (v >= 2) {
            zxdg_output_v1_send_name(r, mode.Name.c_str());
            zxdg_output_v1_send_description(r, ("fake output " + mode.Name).c_str());
          }
          // From version 3 the output's own done ends the update.
          if (v < 3)
            zxdg_output_v1_send_done(r);
          else if (wl_resource_get_version(outputResource) >= 2)
            wl_output_send_done(outputResource);
        },
};

void BindXdgOutputManager(wl_client* client, void* data, uint32_t version, uint32_t id) {
  wl_resource* r =
      wl_resource_create(client, &zxdg_output_manager_v1_interface, std::min(version, 3u), id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &XdgOutputManagerImpl, data, nullptr);
}

// ---- viewporter and fractional scale ------------------------------------

void ViewportGone(wl_resource* resource) {
  if (auto* surface = Data<TSurface>(resource)) {
    surface->PendingViewportWidth = surface->PendingViewportHeight = -1;
    surface->Viewport = nullptr;
  }
}

const struct wp_viewport_interface ViewportImpl = {
    .destroy = DestroyResource,
    .set_source = [](wl_client*, wl_resource*, wl_fixed_t, wl_fixed_t, wl_fixed_t, wl_fixed_t) {},
    .set_destination =
        [](wl_client*, wl_resource* resource, int32_t width, int32_t height) {
          if (auto* surface = Data<TSurface>(resource)) {
            surface->PendingViewportWidth = width;
            surface->PendingViewportHeight = height;
          }
        },
};

const struct wp_viewporter_interface ViewporterImpl = {
    .destroy = DestroyResource,
    .get_viewport =
        [](wl_client* client, wl_resource*, uint32_t id, wl_resource* surfaceResource) {
          wl_resource* r = wl_resource_create(client, &wp_viewport_interface, 1, id);
          if (!r) return wl_client_post_no_memory(client);
          TSurface* surface = Data<TSurface>(surfaceResource);
          wl_resource_set_implementation(r, &ViewportImpl, surface, ViewportGone);
          surface->Viewport = r;
        },
};

void BindViewporter(wl_client* client, void* data, uint32_t, uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wp_viewporter_interface, 1, id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &ViewporterImpl, data, nullptr);
}

void FractionalGone(wl_resource* resource) {
  if (auto* surface = Data<TSurface>(resource)) surface->FractionalScale = nullptr;
}

const struct wp_fractional_scale_v1_interface FractionalImpl = {.destroy = DestroyResource};

const struct wp_fractional_scale_manager_v1_interface FractionalManagerImpl = {
    .destroy = DestroyResource,
    .get_fractional_scale =
        [](wl_client* client, wl_resource*, uint32_t id, wl_resource* surfaceResource) {
          wl_resource* r = wl_resource_create(client, &wp_fractional_scale_v1_interface, 1, id);
          if (!r) return wl_client_post_no_memory(client);
          TSurface* surface = Data<TSurface>(surfaceResource);
          wl_resource_set_implementation(r, &FractionalImpl, surface, FractionalGone);
          surface->FractionalScale = r;
        },
};

void BindFractionalManager(wl_client* client, void* data, uint32_t, uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wp_fractional_scale_manager_v1_interface, 1, id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &FractionalManagerImpl, data, nullptr);
}

// ---- layer shell --------------------------------------------------------

void LayerGone(wl_resource* resource) {
  TLayer* layer = Data<TLayer>(resource);
  if (layer->Surface) layer->Surface->Layer = nullptr;
  std::erase(layer->State->Layers, layer);
  delete layer;
}

TLayerRecord& RecordOf(wl_resource* resource) {
  TLayer* layer = Data<TLayer>(resource);
  return layer->State->Records[layer->Record];
}

const struct zwlr_layer_surface_v1_interface LayerSurfaceImpl = {
    .set_size =
        [](wl_client*, wl_resource* resource, uint32_t width, uint32_t height) {
          Data<TLayer>(resource)->RequestedWidth = width;
          Data<TLayer>(resource)->RequestedHeight = height;
        },
    .set_anchor = [](wl_client*, wl_resource* resource,
                     uint32_t anchor) { RecordOf(resource).Anchor = anchor; },
    .set_exclusive_zone = [](wl_client*, wl_resource* resource,
                             int32_t zone) { RecordOf(resource).ExclusiveZone = zone; },
    .set_margin = [](wl_client*, wl_resource*, int32_t, int32_t, int32_t, int32_t) {},
    .set_keyboard_interactivity = [](wl_client*, wl_resource* resource,
                                     uint32_t keyboard) { RecordOf(resource).Keyboard = keyboard; },
    .get_popup = [](wl_client*, wl_resource*, wl_resource*) {},
    .ack_configure =
        [](wl_client*, wl_resource* resource, uint32_t serial) {
          TLayer* layer = Data<TLayer>(resource);
          if (layer->Configured && serial <= layer->Serial) layer->Acked = true;
        },
    .destroy =
        [](wl_client*, wl_resource* resource) {
          RecordOf(resource).Destroyed = true;
          wl_resource_destroy(resource);
        },
    .set_layer = [](wl_client*, wl_resource* resource,
                    uint32_t layer) { RecordOf(resource).Layer = layer; },
};

const struct zwlr_layer_shell_v1_interface LayerShellImpl = {
    .get_layer_surface =
        [](wl_client* client, wl_resource* resource, uint32_t id, wl_resource* surfaceResource,
           wl_resource* outputResource, uint32_t layerNumber, const char* nameSpace) {
          TState& state = *Data<TState>(resource);
          wl_resource* r = wl_resource_create(client, &zwlr_layer_surface_v1_interface,
                                              wl_resource_get_version(resource), id);
          if (!r) return wl_client_post_no_memory(client);
          auto* layer = new TLayer;
          layer->State = &state;
          layer->Resource = r;
          layer->Surface = Data<TSurface>(surfaceResource);
          layer->Surface->Layer = layer;
          layer->Record = state.Records.size();
          TLayerRecord& record = state.Records.emplace_back();
          record.Layer = layerNumber;
          record.Namespace = nameSpace ? nameSpace : "";
          if (auto* output = outputResource ? Data<TOutputGlobal>(outputResource) : nullptr)
            record.Output = static_cast<int>(output->Index);
          state.Layers.push_back(layer);
          wl_resource_set_implementation(r, &LayerSurfaceImpl, layer, LayerGone);
        },
    .destroy = DestroyResource,
};

void BindLayerShell(wl_client* client, void* data, uint32_t version, uint32_t id) {
  wl_resource* r =
      wl_resource_create(client, &zwlr_layer_shell_v1_interface, std::min(version, 4u), id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &LayerShellImpl, data, nullptr);
}

// ---- wl_seat ------------------------------------------------------------

void KeyboardGone(wl_resource* resource) {
  TState& state = *Data<TState>(resource);
  std::erase(state.Keyboards, resource);
  state.Focus.erase(resource);
}

void PointerGone(wl_resource* resource) {
  TState& state = *Data<TState>(resource);
  std::erase(state.Pointers, resource);
  state.Focus.erase(resource);
}

const struct wl_keyboard_interface KeyboardImpl = {.release = DestroyResource};
const struct wl_pointer_interface PointerImpl = {
    .set_cursor = [](wl_client*, wl_resource*, uint32_t, wl_resource*, int32_t, int32_t) {},
    .release = DestroyResource,
};
const struct wl_touch_interface TouchImpl = {.release = DestroyResource};

const struct wl_seat_interface SeatImpl = {
    .get_pointer =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          wl_resource* r = wl_resource_create(client, &wl_pointer_interface,
                                              wl_resource_get_version(resource), id);
          if (!r) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(r, &PointerImpl, Data<TState>(resource), PointerGone);
          Data<TState>(resource)->Pointers.push_back(r);
        },
    .get_keyboard =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          const int v = wl_resource_get_version(resource);
          wl_resource* r = wl_resource_create(client, &wl_keyboard_interface, v, id);
          if (!r) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(r, &KeyboardImpl, Data<TState>(resource), KeyboardGone);
          Data<TState>(resource)->Keyboards.push_back(r);
          // No keymap: the saver ends on any key and needs none.
          const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
          wl_keyboard_send_keymap(r, WL_KEYBOARD_KEYMAP_FORMAT_NO_KEYMAP, fd, 0);
          ::close(fd);
          if (v >= 4) wl_keyboard_send_repeat_info(r, 25, 600);
        },
    .get_touch =
        [](wl_client* client, wl_resource* resource, uint32_t id) {
          wl_resource* r = wl_resource_create(client, &wl_touch_interface,
                                              wl_resource_get_version(resource), id);
          if (!r) return wl_client_post_no_memory(client);
          wl_resource_set_implementation(r, &TouchImpl, nullptr, nullptr);
        },
    .release = DestroyResource,
};

void BindSeat(wl_client* client, void* data, uint32_t version, uint32_t id) {
  const int v = static_cast<int>(std::min(version, 5u));
  wl_resource* r = wl_resource_create(client, &wl_seat_interface, v, id);
  if (!r) return wl_client_post_no_memory(client);
  wl_resource_set_implementation(r, &SeatImpl, data, nullptr);
  wl_seat_send_capabilities(r, WL_SEAT_CAPABILITY_POINTER | WL_SEAT_CAPABILITY_KEYBOARD);
  if (v >= 2) wl_seat_send_name(r, "seat0");
}

int FrameTick(void* data) {
  auto* state = static_cast<TState*>(data);
  state->SendFrameCallbacks();
  wl_event_source_timer_update(state->FrameTimer, FrameIntervalMs);
  return 0;
}

// A listening socket at `dir`/`name`, or -1.
int ListenAt(const std::string& dir, const char* name) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = dir + "/" + name;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::strcpy(address.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
      ::listen(fd, 16) < 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TFakeCompositor::TFakeCompositor(TFakeOptions options, std::vector<TFakeOutputMode> outputs)
    : FState(std::make_unique<TState>()) {
  TState& s = *FState;
  s.Options = std::move(options);
  s.RuntimeDir = s.Options.RuntimeDir;
  if (s.RuntimeDir.empty()) {
    char pattern[] = "/tmp/moonglow-fake-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    s.RuntimeDir = pattern;
    s.OwnRuntimeDir = true;
  }
  ::chmod(s.RuntimeDir.c_str(), 0700);
  s.Display = wl_display_create();
  if (!s.Display) return;
  s.Loop = wl_display_get_event_loop(s.Display);
  const int listening = ListenAt(s.RuntimeDir, SocketFile);
  if (listening < 0 || wl_display_add_socket_fd(s.Display, listening) < 0) return;
  if (wl_display_init_shm(s.Display) != 0) return;
  wl_global_create(s.Display, &wl_compositor_interface, 4, &s, BindCompositor);
  if (s.Options.LayerShell)
    wl_global_create(s.Display, &zwlr_layer_shell_v1_interface, 4, &s, BindLayerShell);
  if (s.Options.Seat) wl_global_create(s.Display, &wl_seat_interface, 5, &s, BindSeat);
  if (s.Options.XdgOutput)
    wl_global_create(s.Display, &zxdg_output_manager_v1_interface, 3, &s, BindXdgOutputManager);
  if (s.Options.Viewporter)
    wl_global_create(s.Display, &wp_viewporter_interface, 1, &s, BindViewporter);
  if (s.Options.FractionalScale)
    wl_global_create(s.Display, &wp_fractional_scale_manager_v1_interface, 1, &s,
                     BindFractionalManager);
  for (const TFakeOutputMode& mode : outputs) AddOutput(mode);
  s.FrameTimer = wl_event_loop_add_timer(s.Loop, FrameTick, &s);
  wl_event_source_timer_update(s.FrameTimer, FrameIntervalMs);
  s.Ok = true;
}

TFakeCompositor::~TFakeCompositor() {
  TState& s = *FState;
  if (s.FrameTimer) wl_event_source_remove(s.FrameTimer);
  if (s.Display) {
    wl_display_destroy_clients(s.Display);
    wl_display_destroy(s.Display);
  }
  if (!s.RuntimeDir.empty()) ::unlink((s.RuntimeDir + "/" + SocketFile).c_str());
  if (s.OwnRuntimeDir) {
    std::error_code ignored;
    std::filesystem::remove_all(s.RuntimeDir, ignored);
  }
}

bool TFakeCompositor::Ok() const { return FState->Ok; }
const std::string& TFakeCompositor::RuntimeDir() const { return FState->RuntimeDir; }
const std::string& TFakeCompositor::SocketName() const { return FState->SocketName; }

void TFakeCompositor::Dispatch(int milliseconds) {
  TState& s = *FState;
  const TClock::time_point start = TClock::now();
  for (int left = milliseconds; left > 0; left = milliseconds - ElapsedMs(start)) {
    if (TClock::now() < s.StallUntil) {
      std::this_thread::sleep_until(
          std::min(s.StallUntil, start + std::chrono::milliseconds(milliseconds)));
      continue;
    }
    for (auto it = s.DoomedGlobals.begin(); it != s.DoomedGlobals.end();) {
      if (TClock::now() < it->second) {
        ++it;
        continue;
      }
      wl_global_destroy(it->first);
      it = s.DoomedGlobals.erase(it);
    }
    wl_display_flush_clients(s.Display);
    wl_event_loop_dispatch(s.Loop, std::min(left, 10));
    wl_display_flush_clients(s.Display);
  }
}

bool TFakeCompositor::RunUntil(const std::function<bool()>& done, int milliseconds) {
  const TClock::time_point start = TClock::now();
  while (!done()) {
    if (ElapsedMs(start) >= milliseconds) return false;
    Dispatch(10);
  }
  return true;
}

int TFakeCompositor::ClientSocket(int sendBuffer) {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) < 0) return -1;
  if (sendBuffer > 0) ::setsockopt(ends[1], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
  if (!wl_client_create(FState->Display, ends[0])) {
    ::close(ends[0]);
    ::close(ends[1]);
    return -1;
  }
  return ends[1];
}

int TFakeCompositor::Clients() const {
  return wl_list_length(wl_display_get_client_list(FState->Display));
}

void TFakeCompositor::DisconnectClients() {
  wl_list* clients = wl_display_get_client_list(FState->Display);
  while (!wl_list_empty(clients)) wl_client_destroy(wl_client_from_link(clients->next));
}

int TFakeCompositor::AddOutput(const TFakeOutputMode& mode) {
  TState& s = *FState;
  const size_t index = s.Outputs.size();
  s.Outputs.push_back(TFakeOutput{mode, false});
  TOutputGlobal& output = s.OutputGlobals.emplace_back();
  output.State = &s;
  output.Index = index;
  output.Global = wl_global_create(s.Display, &wl_output_interface, 4, &output, BindOutput);
  return static_cast<int>(index);
}

void TFakeCompositor::RemoveOutput(int index, bool closeSurfaces) {
  TState& s = *FState;
  TOutputGlobal& output = s.OutputGlobals.at(static_cast<size_t>(index));
  if (s.Outputs[output.Index].Removed) return;
  if (closeSurfaces) CloseLayerSurfaces(index);
  s.Outputs[output.Index].Removed = true;
  // Clients may still bind the global until they have seen it go; it is
  // destroyed a little later, as compositors do.
  wl_global_remove(output.Global);
  s.DoomedGlobals.emplace_back(output.Global, TClock::now() + std::chrono::seconds(1));
  for (wl_resource* r : output.Resources) wl_resource_set_user_data(r, nullptr);
  output.Resources.clear();
}

void TFakeCompositor::CloseLayerSurfaces(int output) {
  for (TLayer* layer : FState->Layers) {
    TLayerRecord& record = FState->Records[layer->Record];
    if (record.Output != output || record.Closed) continue;
    record.Closed = true;
    zwlr_layer_surface_v1_send_closed(layer->Resource);
  }
}

void TFakeCompositor::Reconfigure(int output, uint32_t width, uint32_t height) {
  for (TLayer* layer : FState->Layers) {
    if (FState->Records[layer->Record].Output == output && layer->Configured)
      FState->SendConfigure(*layer, width, height);
  }
}

void TFakeCompositor::SetOutputScale(int output, int scale) {
  TState& s = *FState;
  TFakeOutputMode& mode = s.Outputs.at(static_cast<size_t>(output)).Mode;
  mode.Scale = scale;
  mode.Scale120 = 0;
  for (wl_resource* r : s.OutputGlobals[static_cast<size_t>(output)].Resources) {
    if (wl_resource_get_version(r) < 2) continue;
    wl_output_send_scale(r, scale);
    wl_output_send_done(r);
  }
  for (TLayer* layer : s.Layers) {
    if (s.Records[layer->Record].Output == output && layer->Configured) s.Configure(*layer);
  }
}

const std::deque<TFakeOutput>& TFakeCompositor::Outputs() const { return FState->Outputs; }

void TFakeCompositor::WithholdFrameCallbacks(bool withhold) { FState->Withhold = withhold; }

void TFakeCompositor::StallOnNextConfigure(int milliseconds) { FState->StallNext = milliseconds; }

void TFakeCompositor::Stall(int milliseconds) {
  FState->StallUntil = TClock::now() + std::chrono::milliseconds(milliseconds);
}

bool TFakeCompositor::SendKey(int index) {
  TState& s = *FState;
  TLayer* layer = s.LiveLayer(index);
  if (!layer) return false;
  wl_resource* surface = layer->Surface->Resource;
  wl_client* client = wl_resource_get_client(surface);
  bool sent = false;
  for (wl_resource* keyboard : s.Keyboards) {
    if (wl_resource_get_client(keyboard) != client) continue;
    if (s.MoveFocus(keyboard, surface)) {
      wl_array keys;
      wl_array_init(&keys);
      wl_keyboard_send_enter(keyboard, s.Serial++, surface, &keys);
      wl_array_release(&keys);
    }
    const uint32_t key = 30;  // the A key's evdev code
    wl_keyboard_send_key(keyboard, s.Serial++, NowMs(), key, WL_KEYBOARD_KEY_STATE_PRESSED);
    wl_keyboard_send_key(keyboard, s.Serial++, NowMs(), key, WL_KEYBOARD_KEY_STATE_RELEASED);
    sent = true;
  }
  return sent;
}

bool TFakeCompositor::SendPointerMotion(int index, double x, double y) {
  TState& s = *FState;
  TLayer* layer = s.LiveLayer(index);
  if (!layer) return false;
  wl_resource* surface = layer->Surface->Resource;
  wl_client* client = wl_resource_get_client(surface);
  bool sent = false;
  for (wl_resource* pointer : s.Pointers) {
    if (wl_resource_get_client(pointer) != client) continue;
    if (s.MoveFocus(pointer, surface))
      wl_pointer_send_enter(pointer, s.Serial++, surface, wl_fixed_from_double(x),
                            wl_fixed_from_double(y));
    else
      wl_pointer_send_motion(pointer, NowMs(), wl_fixed_from_double(x), wl_fixed_from_double(y));
    if (wl_resource_get_version(pointer) >= 5) wl_pointer_send_frame(pointer);
    sent = true;
  }
  return sent;
}

bool TFakeCompositor::SendButton(int index) {
  TState& s = *FState;
  TLayer* layer = s.LiveLayer(index);
  if (!layer) return false;
  wl_resource* surface = layer->Surface->Resource;
  wl_client* client = wl_resource_get_client(surface);
  bool sent = false;
  for (wl_resource* pointer : s.Pointers) {
    if (wl_resource_get_client(pointer) != client) continue;
    if (s.MoveFocus(pointer, surface)) wl_pointer_send_enter(pointer, s.Serial++, surface, 0, 0);
    const uint32_t button = 0x110;  // the left button's evdev code
    wl_pointer_send_button(pointer, s.Serial++, NowMs(), button, WL_POINTER_BUTTON_STATE_PRESSED);
    if (wl_resource_get_version(pointer) >= 5) wl_pointer_send_frame(pointer);
    sent = true;
  }
  return sent;
}

const std::deque<TLayerRecord>& TFakeCompositor::Layers() const { return FState->Records; }

int TFakeCompositor::LiveLayers() const {
  return static_cast<int>(std::count_if(FState->Layers.begin(), FState->Layers.end(),
                                        [](const TLayer* l) { return l->Surface != nullptr; }));
}

int64_t TFakeCompositor::BufferCommits() const {
  int64_t total = 0;
  for (const TLayerRecord& record : FState->Records) total += record.BufferCommits;
  return total;
}

}  // namespace moonglow::testing
