// Drops a file on an X window as a file manager does, through the XDND protocol, for the
// end-to-end tests of both readers: xdnd_drop WINDOW PATH. Exits 0 once the window has
// taken the drop and said it is finished, 1 when it refuses it or says nothing in time.
#include <poll.h>
#include <xcb/xcb.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::uint32_t kVersion = 5;
constexpr auto kPatience = std::chrono::seconds(10);

xcb_connection_t* connection = nullptr;

xcb_atom_t Atom(std::string_view name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
  const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// A file URI: every byte but the unreserved ones and "/" as %XX, so spaces and Japanese
// names travel as the bytes of the file's name.
std::string FileUri(std::string_view path) {
  std::string uri = "file://";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) != 0 || std::strchr("-._~/", c) != nullptr) {
      uri += c;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      uri += escaped;
    }
  }
  return uri;
}

void Send(xcb_window_t to, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1, std::uint32_t d2, std::uint32_t d3,
          std::uint32_t d4) {
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = to;
  message.type = type;
  message.data.data32[0] = d0;
  message.data.data32[1] = d1;
  message.data.data32[2] = d2;
  message.data.data32[3] = d3;
  message.data.data32[4] = d4;
  xcb_send_event(connection, 0, to, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
}

// The next event, or nothing once the deadline has passed.
xcb_generic_event_t* NextEvent(std::chrono::steady_clock::time_point deadline) {
  while (true) {
    if (xcb_generic_event_t* event = xcb_poll_for_event(connection)) return event;
    if (xcb_connection_has_error(connection) != 0) return nullptr;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return nullptr;
    pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left.count()));
  }
}

int Fail(const char* why) {
  std::fprintf(stderr, "xdnd_drop: %s\n", why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: xdnd_drop WINDOW PATH\n", stderr);
    return 2;
  }
  const auto target = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
  const std::string uris = FileUri(argv[2]) + "\r\n";
  int screenNumber = 0;
  connection = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(connection) != 0) return Fail("no X display");
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
  for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
  const xcb_window_t root = screens.data->root;

  const xcb_atom_t enter = Atom("XdndEnter"), position = Atom("XdndPosition"), status = Atom("XdndStatus"),
                   drop = Atom("XdndDrop"), finished = Atom("XdndFinished"), selection = Atom("XdndSelection"),
                   copy = Atom("XdndActionCopy"), uriList = Atom("text/uri-list");

  // The source's own window, unseen, which owns the selection and hears the answers.
  const xcb_window_t source = xcb_generate_id(connection);
  const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, source, root, -10, -10, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screens.data->root_visual, XCB_CW_EVENT_MASK, &events);
  // A server time for the selection and the messages: that of a change to our own window.
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, source, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, "");
  xcb_flush(connection);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  xcb_timestamp_t time = XCB_CURRENT_TIME;
  while (xcb_generic_event_t* event = NextEvent(deadline)) {
    const bool property = (event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY;
    if (property) time = reinterpret_cast<xcb_property_notify_event_t*>(event)->time;
    std::free(event);
    if (property) break;
  }
  xcb_set_selection_owner(connection, source, selection, time);

  // A point inside the window, in the root's coordinates.
  xcb_translate_coordinates_reply_t* at = xcb_translate_coordinates_reply(
      connection, xcb_translate_coordinates(connection, target, root, 1, 0), nullptr);
  if (at == nullptr) return Fail("no such window");
  const std::uint32_t point = (static_cast<std::uint32_t>(at->dst_x) << 16) | static_cast<std::uint16_t>(at->dst_y);
  std::free(at);

  Send(target, enter, source, kVersion << 24, uriList, XCB_ATOM_NONE, XCB_ATOM_NONE);
  Send(target, position, source, 0, point, time, copy);
  bool dropped = false;
  while (xcb_generic_event_t* event = NextEvent(deadline)) {
    const std::uint8_t kind = event->response_type & 0x7F;
    if (kind == XCB_SELECTION_REQUEST) {
      // The window asks for the data, during the drag or after the drop.
      const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
      xcb_selection_notify_event_t answer{};
      answer.response_type = XCB_SELECTION_NOTIFY;
      answer.time = request->time;
      answer.requestor = request->requestor;
      answer.selection = request->selection;
      answer.target = request->target;
      answer.property = XCB_ATOM_NONE;
      if (request->target == uriList) {
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, request->requestor, request->property, uriList, 8,
                            static_cast<std::uint32_t>(uris.size()), uris.data());
        answer.property = request->property;
      }
      xcb_send_event(connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&answer));
      xcb_flush(connection);
    } else if (kind == XCB_CLIENT_MESSAGE) {
      const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
      if (message->type == status && !dropped) {
        if ((message->data.data32[1] & 1) == 0) return Fail("the window does not take the file");
        Send(target, drop, source, 0, time, 0, 0);
        dropped = true;
      } else if (message->type == finished) {
        std::free(event);
        xcb_disconnect(connection);
        return 0;
      }
    }
    std::free(event);
  }
  return Fail(dropped ? "the window never said the drop was finished" : "the window never answered");
}
