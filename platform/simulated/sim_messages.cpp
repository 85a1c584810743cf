// Per-thread message queues. As on Windows, messages sent from outside a thread wait in its queue
// until it retrieves messages, and PeekMessageA delivers all of them before it looks for a posted
// message matching its filter. Retrieval never allocates: queues grow only when a message is
// queued, between the plug-in's calls, so tests can prove the plug-in's own path allocation-free.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/simulated/sim_internal.h"

namespace {

// Room for a device-interface header with a symbolic-link name, or any short header a test
// sends; a longer one is cut to this size, as a marshalling limit would.
constexpr size_t PAYLOAD_CAPACITY = 128;

struct QueuedMessage {
  HWND window;
  UINT message;
  WPARAM first;
  LPARAM second;
  ULONGLONG sent_at;
  size_t payload_size;  // when non-zero, the second parameter is the payload's address
  alignas(8) unsigned char payload[PAYLOAD_CAPACITY];
};

struct ThreadQueue {
  bool in_use;
  std::thread::id owner;
  std::vector<QueuedMessage> sent;
  size_t next_sent;
  std::vector<QueuedMessage> posted;
  size_t next_posted;
  // PostQuitMessage sets a flag rather than queueing: WM_QUIT comes once the posted messages
  // before it are gone, to any retrieval whose range takes it, whatever window it asks for.
  bool quit_pending;
  int quit_code;
};

constexpr int MAX_THREADS = 8;
ThreadQueue queues[MAX_THREADS];
int lost_messages;
// Guards the queues alone: procedures are always called with it released, since they may queue
// or retrieve messages themselves.
std::mutex queue_lock;

// Call with the lock held.
ThreadQueue* queue_of(std::thread::id owner, bool create) {
  for (ThreadQueue& queue : queues) {
    if (queue.in_use && queue.owner == owner) {
      return &queue;
    }
  }
  if (!create) {
    return nullptr;
  }
  for (ThreadQueue& queue : queues) {
    if (!queue.in_use) {
      queue.in_use = true;
      queue.owner = owner;
      return &queue;
    }
  }
  return nullptr;
}

bool enqueue(HWND window, QueuedMessage entry, bool sent) {
  std::thread::id owner;
  if (!sim_window_owner(window, &owner)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  std::lock_guard<std::mutex> guard(queue_lock);
  ThreadQueue* queue = queue_of(owner, true);
  if (queue == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  entry.sent_at = sim_clock();
  (sent ? queue->sent : queue->posted).push_back(entry);
  return true;
}

bool take_sent(QueuedMessage* entry) {
  std::lock_guard<std::mutex> guard(queue_lock);
  ThreadQueue* queue = queue_of(std::this_thread::get_id(), false);
  if (queue == nullptr || queue->next_sent == queue->sent.size()) {
    return false;
  }
  *entry = queue->sent[queue->next_sent++];
  if (queue->next_sent == queue->sent.size()) {
    queue->sent.clear();  // keeps its capacity
    queue->next_sent = 0;
  }
  return true;
}

bool in_filter(UINT message, UINT filter_min, UINT filter_max) {
  return (filter_min == 0 && filter_max == 0) || (message >= filter_min && message <= filter_max);
}

bool matches(const QueuedMessage& entry, HWND window, UINT filter_min, UINT filter_max) {
  if (entry.window == HWND_MESSAGE) {
    return false;  // already taken
  }
  if (window == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) {
    if (entry.window != nullptr) {
      return false;
    }
  } else if (window != nullptr && entry.window != window) {
    return false;
  }
  return in_filter(entry.message, filter_min, filter_max);
}

bool take_quit(ThreadQueue* queue, MSG* message, UINT filter_min, UINT filter_max, bool remove) {
  if (!queue->quit_pending || !in_filter(WM_QUIT, filter_min, filter_max)) {
    return false;
  }
  *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue->quit_code), 0, 0, {0, 0}};
  if (remove) {
    queue->quit_pending = false;
  }
  return true;
}

bool take_posted(MSG* message, HWND window, UINT filter_min, UINT filter_max, bool remove) {
  std::lock_guard<std::mutex> guard(queue_lock);
  ThreadQueue* queue = queue_of(std::this_thread::get_id(), false);
  if (queue == nullptr) {
    return false;
  }
  for (size_t i = queue->next_posted; i < queue->posted.size(); ++i) {
    QueuedMessage& entry = queue->posted[i];
    if (!matches(entry, window, filter_min, filter_max)) {
      continue;
    }
    *message = MSG{entry.window, entry.message, entry.first, entry.second, 0, {0, 0}};
    if (remove) {
      entry.window = HWND_MESSAGE;  // a taken entry; never a real target of a posted message
    }
    while (queue->next_posted < queue->posted.size() &&
           queue->posted[queue->next_posted].window == HWND_MESSAGE) {
      ++queue->next_posted;
    }
    if (queue->next_posted == queue->posted.size()) {
      queue->posted.clear();
      queue->next_posted = 0;
    }
    return true;
  }
  return take_quit(queue, message, filter_min, filter_max, remove);
}

void deliver(QueuedMessage& entry) {
  WNDPROC procedure = sim_window_proc(entry.window);
  if (procedure == nullptr) {
    return;  // the window went away while the message waited
  }
  LPARAM second = entry.payload_size != 0 ? reinterpret_cast<LPARAM>(entry.payload) : entry.second;
  procedure(entry.window, entry.message, entry.first, second);
}

}  // namespace

void sim_queue_reset() {
  std::lock_guard<std::mutex> guard(queue_lock);
  lost_messages = 0;
  for (ThreadQueue& queue : queues) {
    queue = ThreadQueue{};
  }
}

void sim_queue_forget_window(HWND window) {
  std::lock_guard<std::mutex> guard(queue_lock);
  for (ThreadQueue& queue : queues) {
    for (QueuedMessage& entry : queue.posted) {
      if (entry.window == window) {
        entry.window = HWND_MESSAGE;
      }
    }
  }
}

void sim_queue_drop_expired() {
  std::lock_guard<std::mutex> guard(queue_lock);
  for (ThreadQueue& queue : queues) {
    auto waiting = queue.sent.begin() + static_cast<std::ptrdiff_t>(queue.next_sent);
    auto kept = std::remove_if(waiting, queue.sent.end(), [](const QueuedMessage& entry) {
      return sim_clock() - entry.sent_at >= SIM_SEND_TIMEOUT_MS;
    });
    lost_messages += static_cast<int>(queue.sent.end() - kept);
    queue.sent.erase(kept, queue.sent.end());
  }
}

int sim_lost_message_count() {
  std::lock_guard<std::mutex> guard(queue_lock);
  return lost_messages;
}

int sim_queued_message_count(HWND window) {
  std::lock_guard<std::mutex> guard(queue_lock);
  int count = 0;
  for (const ThreadQueue& queue : queues) {
    for (size_t i = queue.next_sent; i < queue.sent.size(); ++i) {
      count += queue.sent[i].window == window ? 1 : 0;
    }
    for (size_t i = queue.next_posted; i < queue.posted.size(); ++i) {
      count += queue.posted[i].window == window ? 1 : 0;
    }
  }
  return count;
}

void sim_send_from_outside(HWND window, UINT message, WPARAM first, LPARAM second) {
  enqueue(window, QueuedMessage{window, message, first, second, 0, 0, {}}, true);
}

void sim_send_device_change_from_outside(HWND window, WPARAM event, const void* header,
                                         size_t size) {
  QueuedMessage entry{window, WM_DEVICECHANGE, event, 0, 0, 0, {}};
  if (header != nullptr && size > 0) {
    entry.payload_size = size < PAYLOAD_CAPACITY ? size : PAYLOAD_CAPACITY;
    std::memcpy(entry.payload, header, entry.payload_size);
  }
  enqueue(window, entry, true);
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filter_min, UINT filter_max,
                         UINT remove) {
  // A failed check retrieves nothing and leaves every message where it is.
  if (sim_enter(SIM_PEEK_MESSAGE_A)) {
    return FALSE;
  }
  // Each sent message is copied out before its procedure runs, so a payload stays valid for the
  // whole call even if the procedure queues more.
  QueuedMessage entry;
  while (take_sent(&entry)) {
    deliver(entry);
  }
  return take_posted(message, window, filter_min, filter_max, (remove & PM_REMOVE) != 0) ? TRUE
                                                                                         : FALSE;
}

void WINAPI PostQuitMessage(int exit_code) {
  sim_enter(SIM_POST_QUIT_MESSAGE);
  std::lock_guard<std::mutex> guard(queue_lock);
  ThreadQueue* queue = queue_of(std::this_thread::get_id(), true);
  if (queue != nullptr) {
    queue->quit_pending = true;
    queue->quit_code = exit_code;
  }
}

BOOL WINAPI TranslateMessage(const MSG*) {
  sim_enter(SIM_TRANSLATE_MESSAGE);
  return FALSE;  // only key messages translate, and no window here receives any
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
  sim_enter(SIM_DISPATCH_MESSAGE_A);
  if (message == nullptr) {
    return 0;
  }
  WNDPROC procedure = sim_window_proc(message->hwnd);
  return procedure != nullptr
             ? procedure(message->hwnd, message->message, message->wParam, message->lParam)
             : 0;
}

// Only a window of the calling thread is reached directly; a thread of the simulation that wants
// to reach another's window does what the system does, sim_send_from_outside().
LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
  sim_enter(SIM_SEND_MESSAGE_W);
  WNDPROC procedure = sim_window_proc(window);
  std::thread::id owner;
  if (procedure == nullptr || !sim_window_owner(window, &owner) ||
      owner != std::this_thread::get_id()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return procedure(window, message, first, second);
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
  if (sim_enter(SIM_POST_MESSAGE_W)) {
    return FALSE;
  }
  // A device event carries a pointer, and the system refuses to post pointers.
  if (message == WM_DEVICECHANGE && (first & 0x8000) != 0) {
    SetLastError(ERROR_MESSAGE_SYNC_ONLY);
    return FALSE;
  }
  QueuedMessage entry{window, message, first, second, 0, 0, {}};
  return enqueue(window, entry, false) ? TRUE : FALSE;
}
