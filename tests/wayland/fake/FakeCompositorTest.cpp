// The fake compositor with a small client of the test's own, in the same
// thread: what the front end's tests rely on it to see (sizes, damage, frame
// callbacks, outputs going, connections dropped) must be right before it can
// be trusted to find faults in the saver.

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "tests/wayland/fake/FakeCompositor.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"

namespace {

using moonglow::testing::TFakeCompositor;
using moonglow::testing::TFakeOptions;
using moonglow::testing::TFakeOutputMode;
using moonglow::testing::TLayerRecord;

// A client that binds what it finds and makes one layer surface.
struct TClient {
  wl_display* Display = nullptr;
  wl_registry* Registry = nullptr;
  wl_compositor* Compositor = nullptr;
  wl_shm* Shm = nullptr;
  zwlr_layer_shell_v1* LayerShell = nullptr;
  std::vector<wl_output*> Outputs;
  std::set<std::string> Globals;
  std::vector<uint32_t> RemovedGlobals;

  wl_surface* Surface = nullptr;
  zwlr_layer_surface_v1* Layer = nullptr;
  uint32_t Width = 0, Height = 0;
  bool Closed = false;
  int FramesDone = 0;
  uint32_t* LastPixels = nullptr;
  std::vector<wl_buffer*> Buffers;

  explicit TClient(int fd) : Display(wl_display_connect_to_fd(fd)) {
    if (!Display) return;
    Registry = wl_display_get_registry(Display);
    static const wl_registry_listener listener = {
        .global =
            [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
              auto* c = static_cast<TClient*>(data);
              c->Globals.insert(interface);
              const std::string i = interface;
              if (i == "wl_compositor")
                c->Compositor = static_cast<wl_compositor*>(
                    wl_registry_bind(registry, name, &wl_compositor_interface, 4));
              if (i == "wl_shm")
                c->Shm =
                    static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
              if (i == "zwlr_layer_shell_v1")
                c->LayerShell = static_cast<zwlr_layer_shell_v1*>(
                    wl_registry_bind(registry, name, &zwlr_layer_shell_v1_interface, 4));
              if (i == "wl_output")
                c->Outputs.push_back(static_cast<wl_output*>(
                    wl_registry_bind(registry, name, &wl_output_interface, 4)));
            },
        .global_remove =
            [](void* data, wl_registry*, uint32_t name) {
              static_cast<TClient*>(data)->RemovedGlobals.push_back(name);
            },
    };
    wl_registry_add_listener(Registry, &listener, this);
  }

  ~TClient() {
    if (!Display) return;
    for (wl_buffer* buffer : Buffers) wl_buffer_destroy(buffer);
    if (Layer) zwlr_layer_surface_v1_destroy(Layer);
    if (Surface) wl_surface_destroy(Surface);
    for (wl_output* output : Outputs) wl_output_destroy(output);
    if (LayerShell) zwlr_layer_shell_v1_destroy(LayerShell);
    if (Shm) wl_shm_destroy(Shm);
    if (Compositor) wl_compositor_destroy(Compositor);
    wl_registry_destroy(Registry);
    wl_display_disconnect(Display);
  }

  // Sends what is queued, lets the compositor answer, and reads the answer.
  // False once the connection has failed.
  bool Pump(TFakeCompositor& compositor, int rounds = 3) {
    for (int i = 0; i < rounds; ++i) {
      if (wl_display_flush(Display) < 0 && errno != EAGAIN) return false;
      compositor.Dispatch(5);
      while (wl_display_prepare_read(Display) != 0) {
        if (wl_display_dispatch_pending(Display) < 0) return false;
      }
      pollfd p{wl_display_get_fd(Display), POLLIN, 0};
      if (::poll(&p, 1, 0) > 0) {
        if (wl_display_read_events(Display) < 0) return false;
      } else {
        wl_display_cancel_read(Display);
      }
      if (wl_display_dispatch_pending(Display) < 0) return false;
    }
    return wl_display_get_error(Display) == 0;
  }

  void MakeLayer(wl_output* output) {
    Surface = wl_compositor_create_surface(Compositor);
    Layer = zwlr_layer_shell_v1_get_layer_surface(LayerShell, Surface, output,
                                                  ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "probe");
    static const zwlr_layer_surface_v1_listener listener = {
        .configure =
            [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t w, uint32_t h) {
              auto* c = static_cast<TClient*>(data);
              c->Width = w;
              c->Height = h;
              zwlr_layer_surface_v1_ack_configure(layer, serial);
            },
        .closed = [](void* data,
                     zwlr_layer_surface_v1*) { static_cast<TClient*>(data)->Closed = true; },
    };
    zwlr_layer_surface_v1_add_listener(Layer, &listener, this);
    zwlr_layer_surface_v1_set_anchor(Layer, 15);
    wl_surface_commit(Surface);
  }

  // A buffer of Width × Height filled by `pixel(x, y)`.
  wl_buffer* Buffer(uint32_t (*pixel)(int, int)) {
    const int stride = static_cast<int>(Width) * 4, size = stride * static_cast<int>(Height);
    const int fd = ::memfd_create("probe", MFD_CLOEXEC);
    if (fd < 0 || ::ftruncate(fd, size) < 0) return nullptr;
    // Left mapped, so that a test can draw into a buffer the compositor holds.
    auto* data = static_cast<uint32_t*>(::mmap(nullptr, size, PROT_WRITE, MAP_SHARED, fd, 0));
    for (uint32_t y = 0; y < Height; ++y)
      for (uint32_t x = 0; x < Width; ++x) data[y * Width + x] = pixel(int(x), int(y));
    LastPixels = data;
    wl_shm_pool* pool = wl_shm_create_pool(Shm, fd, size);
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, 0, int(Width), int(Height), stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    Buffers.push_back(buffer);
    return buffer;
  }

  void Present(wl_buffer* buffer, std::initializer_list<std::array<int, 4>> damage) {
    wl_surface_attach(Surface, buffer, 0, 0);
    for (const auto& r : damage) wl_surface_damage_buffer(Surface, r[0], r[1], r[2], r[3]);
    static const wl_callback_listener done = {
        .done = [](void* data, wl_callback* callback, uint32_t) {
          ++static_cast<TClient*>(data)->FramesDone;
          wl_callback_destroy(callback);
        }};
    wl_callback_add_listener(wl_surface_frame(Surface), &done, this);
    wl_surface_commit(Surface);
  }
};

TEST(FakeCompositor, OffersTheGlobalsItIsAskedFor) {
  {
    TFakeCompositor full({}, {TFakeOutputMode{}, TFakeOutputMode{"FAKE-2"}});
    ASSERT_TRUE(full.Ok());
    TClient client(full.ClientSocket());
    ASSERT_TRUE(client.Pump(full));
    for (const char* name :
         {"wl_compositor", "wl_shm", "wl_output", "wl_seat", "zwlr_layer_shell_v1",
          "zxdg_output_manager_v1", "wp_viewporter", "wp_fractional_scale_manager_v1"})
      EXPECT_TRUE(client.Globals.count(name)) << name;
    EXPECT_EQ(client.Outputs.size(), 2u);
  }
  TFakeOptions bare;
  bare.LayerShell = bare.Seat = bare.XdgOutput = bare.Viewporter = bare.FractionalScale = false;
  TFakeCompositor compositor(bare);
  ASSERT_TRUE(compositor.Ok());
  TClient client(compositor.ClientSocket());
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_EQ(client.Globals, (std::set<std::string>{"wl_compositor", "wl_shm", "wl_output"}));
}

TEST(FakeCompositor, ShowsOnlyWhatTheDamageLetsThrough) {
  TFakeCompositor compositor({}, {TFakeOutputMode{"FAKE-1", 1280, 960, 2}});
  TClient client(compositor.ClientSocket());
  ASSERT_TRUE(client.Pump(compositor));
  client.MakeLayer(client.Outputs.at(0));
  ASSERT_TRUE(client.Pump(compositor));
  // The output's size in surface units: its mode over its scale.
  EXPECT_EQ(client.Width, 640u);
  EXPECT_EQ(client.Height, 480u);
  ASSERT_EQ(compositor.Layers().size(), 1u);
  const TLayerRecord& layer = compositor.Layers()[0];
  EXPECT_EQ(layer.Output, 0);
  EXPECT_EQ(layer.Namespace, "probe");
  EXPECT_EQ(layer.Anchor, 15u);

  // A new buffer size is shown whole; later, only the damaged rectangle.
  client.Present(client.Buffer([](int, int) -> uint32_t { return 0; }), {});
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_EQ(layer.LitPixels(), 0);
  client.Present(
      client.Buffer([](int x, int y) -> uint32_t { return x < 10 || y < 4 ? 0xFF0000 : 0; }),
      {{0, 0, 10, 480}});
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_EQ(layer.LitPixels(), 10 * 480);
  EXPECT_EQ(layer.UndamagedChanges, (640 - 10) * 4);
  EXPECT_EQ(layer.BufferCommits, 2);
  EXPECT_EQ(layer.MaxDamagePerCommit, 1);
  EXPECT_EQ(layer.Buffers.size(), 2u);
  EXPECT_FALSE(layer.CommitBeforeAck);
  EXPECT_FALSE(layer.WrongFormat);

  // The buffer on screen is the compositor's until released: a pixel drawn
  // into it before then is counted when the next buffer comes.
  EXPECT_EQ(layer.BusyBufferWrites, 0);
  uint32_t* shown = client.LastPixels;
  client.Present(
      client.Buffer([](int x, int y) -> uint32_t { return x < 10 || y < 4 ? 0xFF0000 : 0; }), {});
  shown[640 * 100 + 100] = 0x00FF00;
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_EQ(layer.BusyBufferWrites, 1);
}

TEST(FakeCompositor, FrameCallbacksWaitWhileWithheld) {
  TFakeCompositor compositor;
  TClient client(compositor.ClientSocket());
  ASSERT_TRUE(client.Pump(compositor));
  client.MakeLayer(client.Outputs.at(0));
  ASSERT_TRUE(client.Pump(compositor));
  wl_buffer* buffer = client.Buffer([](int, int) -> uint32_t { return 0; });
  client.Present(buffer, {});
  ASSERT_TRUE(client.Pump(compositor, 10));
  EXPECT_EQ(client.FramesDone, 1);

  compositor.WithholdFrameCallbacks(true);
  client.Present(buffer, {});
  ASSERT_TRUE(client.Pump(compositor, 20));
  EXPECT_EQ(client.FramesDone, 1);
  compositor.WithholdFrameCallbacks(false);
  ASSERT_TRUE(client.Pump(compositor, 10));
  EXPECT_EQ(client.FramesDone, 2);
}

// The slow reader the damage test relies on: a frame of one request per row
// overflows a small send buffer while the compositor reads nothing, and
// libwayland gives up on the connection.
TEST(FakeCompositor, ASlowReaderFillsASmallSendBuffer) {
  TFakeCompositor compositor;
  TClient client(compositor.ClientSocket(4096));
  ASSERT_TRUE(client.Pump(compositor));
  client.MakeLayer(client.Outputs.at(0));
  ASSERT_TRUE(client.Pump(compositor));
  compositor.Stall(1000);
  wl_surface_attach(client.Surface, client.Buffer([](int, int) -> uint32_t { return 0; }), 0, 0);
  for (int y = 0; y < 1080; ++y) wl_surface_damage_buffer(client.Surface, 0, y, 640, 1);
  wl_surface_commit(client.Surface);
  EXPECT_EQ(wl_display_get_error(client.Display), EAGAIN);
}

TEST(FakeCompositor, OutputsGoAndConnectionsDrop) {
  TFakeCompositor compositor({}, {TFakeOutputMode{}, TFakeOutputMode{"FAKE-2"}});
  TClient client(compositor.ClientSocket());
  ASSERT_TRUE(client.Pump(compositor));
  client.MakeLayer(client.Outputs.at(1));
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_EQ(compositor.Layers().at(0).Output, 1);

  compositor.RemoveOutput(0, true);
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_FALSE(client.Closed);
  EXPECT_EQ(client.RemovedGlobals.size(), 1u);
  compositor.RemoveOutput(1, true);
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_TRUE(client.Closed);
  EXPECT_TRUE(compositor.Layers()[0].Closed);
  EXPECT_EQ(client.RemovedGlobals.size(), 2u);
  zwlr_layer_surface_v1_destroy(client.Layer);
  client.Layer = nullptr;
  ASSERT_TRUE(client.Pump(compositor));
  EXPECT_TRUE(compositor.Layers()[0].Destroyed);
  EXPECT_EQ(compositor.LiveLayers(), 0);

  EXPECT_EQ(compositor.Clients(), 1);
  compositor.DisconnectClients();
  EXPECT_EQ(compositor.Clients(), 0);
  EXPECT_FALSE(client.Pump(compositor));
}

}  // namespace
