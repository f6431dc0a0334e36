#pragma once
// Brings the sound devices' notices to the window's thread. A backend calls
// post on its own thread (or, for the manually paced simulator, on the
// window's thread from inside its clock); post only queues the notice as a
// call on this object's thread, in order, and the handler runs there later,
// from the event loop. Nothing of the program is touched inside post.

#include <QObject>

#include <functional>
#include <mutex>

#include "platform/wave_audio.h"

class TWaveNotifier final : public QObject, public WaveNotifier {
  Q_OBJECT

 public:
  using Handler = std::function<void(const WaveNotice&)>;

  // handler runs on the thread this object lives in, once per notice, in the
  // order the notices were posted.
  explicit TWaveNotifier(Handler handler);
  // Stops taking notices first; notices posted before and not yet handled
  // are dropped with the object.
  ~TWaveNotifier() override;

  // Any thread. Queues the notice; after close() does nothing.
  void post(const WaveNotice& notice) override;
  // From here on posts are dropped. Returns once no post is in progress.
  void close();

 private:
  Handler handler_;
  std::mutex mutex_;  // held only while a post queues its call
  bool closed_ = false;
};
