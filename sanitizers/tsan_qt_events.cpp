// ThreadSanitizer builds only: Qt's queued signals and posted events, made
// visible to ThreadSanitizer as the hand-over they are.
//
// A signal emitted on one thread and delivered on another travels through
// Qt's event queue, whose lock is a futex inside libQt5Core that
// ThreadSanitizer cannot see: the arguments the emitting thread wrote and
// the slot reads, and the event Qt frees after delivery, look unordered.
// Qt's queue does order them: the emitter appends the event under the
// receiving thread's queue lock, and the receiving thread takes that lock
// before it delivers any later event. This file models the queue as one
// synchronisation point: every signal emitted and every event posted from
// our code releases it, every event delivered acquires it. A queued signal's
// event is built inside Qt's activate(), so an emission releases before and
// after that call. Not covered: a receiver already awake that takes the event
// in the instant between Qt queueing it and the second release (one woken
// for it is: ThreadSanitizer follows Qt's wake-up descriptor). Such a report
// shows the slot's argument read (or the event's deletion) racing with the
// allocation inside QMetaObject::activate.
//
// The model orders a little more than Qt does (an emission that queues
// nothing also releases), so a race is missed only when the two accesses are
// already separated by an emission on one side and a later event delivery on
// the other. Shared state of our own (frames, settings) is ordered by
// std::mutex and atomics, which ThreadSanitizer sees without help.
//
// Executables without Qt get the two entry points too; nothing calls them.
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>


class QObject;
class QMetaObject;
class QEvent;

namespace {

char event_queue;  // the synchronisation point: only its address is used


void* qt_symbol(const char* name)
{
    return dlsym(RTLD_NEXT, name);
}

bool event_delivered(void**)
{
    __tsan_acquire(&event_queue);
    return false;  // Qt goes on and delivers the event
}

// Runs when the program starts: Qt's event notification hook, when Qt is loaded.
__attribute__((constructor)) void watch_event_delivery()
{
    using register_fn = bool (*)(int, bool (*)(void**));
    const auto reg = reinterpret_cast<register_fn>(
        dlsym(RTLD_DEFAULT, "_ZN9QInternal16registerCallbackENS_8CallbackEPFbPPvE"));
    constexpr int kEventNotifyCallback = 0;
    if (reg != nullptr) {
        reg(kEventNotifyCallback, event_delivered);
    }
}

}  // namespace

// QMetaObject::activate(QObject*, const QMetaObject*, int, void**): what the
// signal functions moc generates call. Defined here, it takes the place of
// Qt's for our code and forwards to it.
extern "C" __attribute__((visibility("default"))) void tessivue_qt_activate(QObject*, const QMetaObject*, int, void**) __asm__("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");

void tessivue_qt_activate(QObject* sender, const QMetaObject* meta, int index, void** arguments)
{
    using activate_fn = void (*)(QObject*, const QMetaObject*, int, void**);
    static const auto qt = reinterpret_cast<activate_fn>(qt_symbol("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv"));
    __tsan_release(&event_queue);
    qt(sender, meta, index, arguments);
    // Qt builds the queued event (its argument copies) inside the call.
    __tsan_release(&event_queue);
}

// QCoreApplication::postEvent(QObject*, QEvent*, int), for events our code posts itself.
extern "C" __attribute__((visibility("default"))) void tessivue_qt_post_event(QObject*, QEvent*, int) __asm__("_ZN16QCoreApplication9postEventEP7QObjectP6QEventi");

void tessivue_qt_post_event(QObject* receiver, QEvent* event, int priority)
{
    using post_fn = void (*)(QObject*, QEvent*, int);
    static const auto qt = reinterpret_cast<post_fn>(qt_symbol("_ZN16QCoreApplication9postEventEP7QObjectP6QEventi"));
    __tsan_release(&event_queue);
    qt(receiver, event, priority);
}
