/*
 * corvane: content identities for files and photo-library items, as a plug-in.
 *
 * This header is all a host needs. A host loads libcorvane.so, fills in a registrar (its
 * messenger, and what it lends the plug-in), and calls CorvanePluginRegisterWithRegistrar once.
 * The plug-in then sets a callback for its channel, "corvane"; every message on it is a method
 * call in the standard binary codec of Flutter-style engines, and every one is answered exactly
 * once with a reply in the same codec (an empty reply: the method is not implemented).
 *
 * Only plain C crosses: the library imports nothing from its host by name, so everything the
 * host does for the plug-in reaches it as a function pointer with the host's user data.
 *
 * Ownership and lifetimes
 * - Every struct handed to the plug-in (the registrar, its messenger, the lent services and the
 *   structs and texts they point to) is read during the call that receives it; the plug-in
 *   copies what it keeps. The functions in them, and their user data, must stay callable until
 *   the destruction handler has returned and every response handle has been answered.
 * - A message, its bytes and its channel name are the host's, valid during the callback only.
 * - A response handle is the host's. The plug-in answers it exactly once, with send_response,
 *   from any thread, during the callback or at any time later (the photo-library methods answer
 *   from the library's own threads). The handle is gone once answered.
 * - Bytes and texts passed to any callback are valid during that call only.
 * - struct_size: whoever fills a struct sets it to sizeof the struct as it knows it. Fields
 *   beyond a host's struct_size count as absent (NULL or zero), so newer fields can be added
 *   at the end without breaking older hosts.
 *
 * Threads
 * - The host may deliver messages from any thread, also several at once; the plug-in answers on
 *   the calling thread, or later from a photo library's thread.
 * - Lent functions are called on the thread of the call they serve, or on a photo library's
 *   thread; a host that lends them must let them be called from several threads at once.
 *
 * Unloading
 * - A host must not unload the plug-in while a photo library can still run its handlers. Call
 *   the destruction handler first: it completes the library's pending requests (answering them),
 *   waits for the library's threads, and releases every object of the plug-in. Once it has
 *   returned, the plug-in never calls the host again and may be unloaded.
 */
#ifndef CORVANE_CORVANE_H_
#define CORVANE_CORVANE_H_

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define CORVANE_EXPORT __attribute__((visibility("default")))
#else
#define CORVANE_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The fingerprint's format ------------------------------------------------------------ */

/* "fingerprintOfFile" and "fingerprintOfVideoAsset" answer SHA-256 over the file's size (8 bytes,
 * least significant first), then its whole content when it holds at most
 * CORVANE_FINGERPRINT_WHOLE_LIMIT bytes, else CORVANE_FINGERPRINT_SAMPLE_COUNT samples of
 * CORVANE_FINGERPRINT_SAMPLE_LENGTH bytes each, at offsets 0, size/4, 2 size/4, 3 size/4 and
 * size - CORVANE_FINGERPRINT_SAMPLE_LENGTH (size/4 rounded down). Stored fingerprints rely on
 * these numbers: they never change. */
enum {
  CORVANE_FINGERPRINT_WHOLE_LIMIT = 102400,
  CORVANE_FINGERPRINT_SAMPLE_LENGTH = 16384,
  CORVANE_FINGERPRINT_SAMPLE_COUNT = 5
};

/* ---- The messenger ---------------------------------------------------------------------- */

/* A pending reply to one message; only its host knows what it is. */
typedef struct CorvaneResponseHandle CorvaneResponseHandle;

/* One message on a channel. */
typedef struct CorvaneMessage {
  size_t struct_size;
  const char* channel; /* NUL-terminated */
  const uint8_t* message;
  size_t message_size;
  CorvaneResponseHandle* response_handle; /* answer with send_response, exactly once */
} CorvaneMessage;

/* Receives the messages of a channel. */
typedef void (*CorvaneMessageCallback)(const CorvaneMessage* message, void* user_data);

/* Receives the reply to a message the plug-in sent, once. */
typedef void (*CorvaneBinaryReply)(const uint8_t* reply, size_t reply_size, void* user_data);

/* The host's side of the channels. Every function gets the messenger's user_data first. */
typedef struct CorvaneMessenger {
  size_t struct_size;
  void* user_data;
  /* Installs the receiver of a channel's messages; a NULL callback removes it. A callback that
   * was replaced may still receive a message that was already being delivered. */
  void (*set_callback)(void* user_data, const char* channel, CorvaneMessageCallback callback, void* callback_user_data);
  /* Answers a message. data may be NULL when data_size is 0 (the empty reply). */
  void (*send_response)(void* user_data, CorvaneResponseHandle* response_handle, const uint8_t* data, size_t data_size);
  /* Optional (NULL: the host takes no messages from plug-ins). Sends a message on a channel;
   * nonzero when sent, and then reply (if not NULL) is called once. corvane itself never sends. */
  int (*send)(void* user_data, const char* channel, const uint8_t* message, size_t message_size,
              CorvaneBinaryReply reply, void* reply_user_data);
  /* Optional. Told, for diagnostics, when the plug-in broke the answer-once rule and mended it:
   * a second answer dropped, or nil sent for a message it let go of unanswered. */
  void (*report_fault)(void* user_data, const char* channel, const char* problem);
} CorvaneMessenger;

/* ---- What a host lends -------------------------------------------------------------------- */

/* Where the plug-in's printed lines go (default: standard output). */
typedef struct CorvaneConsole {
  size_t struct_size;
  void* user_data;
  /* One whole line, without its line feed; the text is not NUL-terminated. */
  void (*print_line)(void* user_data, const char* text, size_t length);
} CorvaneConsole;

/* Kinds of file in CorvaneFileStatus.type. */
enum {
  CORVANE_FILE_REGULAR = 0,
  CORVANE_FILE_DIRECTORY = 1,
  CORVANE_FILE_SYMBOLIC_LINK = 2,
  CORVANE_FILE_FIFO = 3,
  CORVANE_FILE_SOCKET = 4,
  CORVANE_FILE_DEVICE = 5, /* a character or block device */
  CORVANE_FILE_UNKNOWN = 6
};

/* What the system said of a file a digest was made of, as it stood from the first read to the
 * last. Times are nanoseconds since the epoch. */
typedef struct CorvaneFileStatus {
  size_t struct_size;
  int32_t type;
  uint64_t size;
  uint64_t device;
  uint64_t inode;
  uint64_t links;
  int64_t modified_ns; /* content */
  int64_t changed_ns;  /* metadata */
} CorvaneFileStatus;

/* Reasons in CorvaneFileError.reason. */
enum {
  CORVANE_FILE_ERROR_SYSTEM = 0,      /* error_number holds the errno */
  CORVANE_FILE_ERROR_NOT_REGULAR = 1, /* a FIFO, a socket, a device or a folder: never read */
  CORVANE_FILE_ERROR_CHANGED = 2,     /* the file changed while it was read */
  CORVANE_FILE_ERROR_PSEUDO_FILE = 3  /* its stated size does not tell its content (/proc, /sys) */
};

/* Why a file operation failed. Texts are not NUL-terminated. */
typedef struct CorvaneFileError {
  size_t struct_size;
  const char* operation; /* "open", "read", "status", "list" */
  size_t operation_length;
  int32_t reason;
  int32_t error_number;
  const char* description; /* the reason in words */
  size_t description_length;
} CorvaneFileError;

/* Told, on the thread of the call, what the file methods (fingerprintOfFile, hashFile) found,
 * before the call is answered: so a host learns sizes and reasons without looking again. */
typedef struct CorvaneFileObserver {
  size_t struct_size;
  void* user_data;
  void (*file_read)(void* user_data, const char* path, size_t path_length, const CorvaneFileStatus* status);
  void (*file_failed)(void* user_data, const char* path, size_t path_length, const CorvaneFileError* error);
} CorvaneFileObserver;

/* A file a host opened for the plug-in: opaque to the plug-in, owned by the host. */
typedef struct CorvaneFile CorvaneFile;

/* How the file methods (fingerprintOfFile, hashFile) open the path of their call, when a host
 * would rather open it itself: so it can present as a file of its own what the plug-in would
 * otherwise refuse to read (a stream it reads as it arrives, a disk read whole). The plug-in
 * still reads only what is presented as a regular file, front to back or at the offsets its
 * method reads, and gives no digest when a read fails. Errors are filled in *error; their
 * texts must be static (the plug-in keeps only the operation, reason and error number). */
typedef struct CorvaneFileOpener {
  size_t struct_size;
  void* user_data;
  /* Opens the path (not NUL-terminated), following links: the file, or NULL and *error. */
  CorvaneFile* (*open)(void* user_data, const char* path, size_t path_length, CorvaneFileError* error);
  /* The file's status as the host presents it: 0, or -1 and *error. */
  int (*status)(void* user_data, CorvaneFile* file, CorvaneFileStatus* status, CorvaneFileError* error);
  /* One read of at most `size` bytes at `offset`: 0 with the count in *count (0 at the end),
   * or -1 and *error. */
  int (*read)(void* user_data, CorvaneFile* file, uint64_t offset, uint8_t* buffer, size_t size, size_t* count,
              CorvaneFileError* error);
  /* Optional: the file will be read once, front to back. */
  void (*advise_sequential)(void* user_data, CorvaneFile* file);
  /* Releases the file; it is never used again. */
  void (*close)(void* user_data, CorvaneFile* file);
} CorvaneFileOpener;

/* What the host lends the plug-in; every field may be NULL. */
typedef struct CorvaneLentServices {
  size_t struct_size;
  const CorvaneConsole* console;            /* NULL: standard output */
  const char* system_version;               /* NUL-terminated; NULL: the host system's version */
  const char* photo_library_path;           /* a folder; NULL (or one that cannot be opened): an empty library */
  const CorvaneFileObserver* file_observer; /* NULL: nobody is told */
  const CorvaneFileOpener* file_opener;     /* NULL (or one without open, status, read or close): the
                                               plug-in opens the paths itself */
} CorvaneLentServices;

/* ---- Registration ---------------------------------------------------------------------------- */

/* Releases what the plug-in registered; see "Unloading" above. */
typedef void (*CorvaneDestructionHandler)(void* handler_user_data);

/* What a host hands the plug-in at registration: its messenger, what it lends, and a way to be
 * told how to release the plug-in. Every function gets the registrar's user_data first. */
typedef struct CorvanePluginRegistrar {
  size_t struct_size;
  void* user_data;
  const CorvaneMessenger* messenger;
  /* The plug-in sets one handler; the host calls it once, when it stops hosting the plug-in,
   * while no message is being delivered and after which none will be. */
  void (*set_destruction_handler)(void* user_data, CorvaneDestructionHandler handler, void* handler_user_data);
  const CorvaneLentServices* lent; /* NULL: nothing lent */
} CorvanePluginRegistrar;

typedef const CorvanePluginRegistrar* CorvanePluginRegistrarRef;

/* Registers one plug-in object on the registrar's messenger, on the channel "corvane". A
 * registrar without a messenger, set_callback, send_response or set_destruction_handler
 * registers nothing; messages on the channel then get whatever the host gives unhandled ones. */
CORVANE_EXPORT void CorvanePluginRegisterWithRegistrar(CorvanePluginRegistrarRef registrar);

/* The plug-in's version: 1.0, "corvane 1.0". */
CORVANE_EXPORT extern const double corvaneVersionNumber;
CORVANE_EXPORT extern const char corvaneVersionString[];

#ifdef __cplusplus
}
#endif

#endif /* CORVANE_CORVANE_H_ */
