/*
 * A host for the corvane plug-in in plain C11. It registers the plug-in on a messenger of its
 * own, lends it a console (standard error) and optionally a photo library, sends method calls in
 * the standard binary codec, and prints each answer as JSON, as `corvane call` does.
 *
 *   c_host [--library FOLDER] FILE
 *       getPlatformVersion, then fingerprintOfFile FILE
 *   c_host [--library FOLDER] --call METHOD [ARG]
 *   c_host [--library FOLDER] --call getIfAssetExistInAlbum ASSET ALBUM [true|false]
 *       one call; ARG is sent as text, and no ARG as nil
 *
 * Build it from an installed corvane:
 *   cc -std=c11 c_host.c $(pkg-config --cflags --libs corvane) -pthread -o c_host
 */
#include <corvane/corvane.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* ---- Bytes ----------------------------------------------------------------------------- */

typedef struct Buffer {
  uint8_t* data;
  size_t size;
} Buffer;

static void put(Buffer* buffer, const void* bytes, size_t count) {
  uint8_t* grown = realloc(buffer->data, buffer->size + count);
  if (grown == NULL) abort();
  if (count > 0) memcpy(grown + buffer->size, bytes, count);
  buffer->data = grown;
  buffer->size += count;
}

static void putByte(Buffer* buffer, uint8_t byte) { put(buffer, &byte, 1); }

/* The standard codec's sizes: one byte below 254, else 254 and 16 bits, or 255 and 32 bits. */
static void putSize(Buffer* buffer, size_t size) {
  if (size < 254) {
    putByte(buffer, (uint8_t)size);
  } else if (size <= 0xffff) {
    putByte(buffer, 254);
    putByte(buffer, (uint8_t)size);
    putByte(buffer, (uint8_t)(size >> 8));
  } else {
    putByte(buffer, 255);
    for (int shift = 0; shift < 32; shift += 8) putByte(buffer, (uint8_t)(size >> shift));
  }
}

enum { kNull = 0, kTrue = 1, kFalse = 2, kString = 7, kMap = 13 };

static void putString(Buffer* buffer, const char* text) {
  putByte(buffer, kString);
  putSize(buffer, strlen(text));
  put(buffer, text, strlen(text));
}

/* Reads a size at *at; 0 when the bytes end first. */
static int readSize(const Buffer* buffer, size_t* at, size_t* size) {
  if (*at >= buffer->size) return 0;
  const uint8_t first = buffer->data[(*at)++];
  const size_t width = first == 254 ? 2 : first == 255 ? 4 : 0;
  if (width == 0) {
    *size = first;
    return 1;
  }
  if (buffer->size - *at < width) return 0;
  *size = 0;
  for (size_t i = 0; i < width; ++i) *size |= (size_t)buffer->data[*at + i] << (8 * i);
  *at += width;
  return 1;
}

/* ---- The host's messenger ------------------------------------------------------------------ */

/* This host's response handle: where the reply goes, and a signal that it came. */
struct CorvaneResponseHandle {
  pthread_mutex_t mutex;
  pthread_cond_t answered;
  int done;
  Buffer reply;
};

typedef struct Host {
  pthread_mutex_t mutex;
  CorvaneMessageCallback callback; /* the plug-in's, for "corvane" */
  void* callback_data;
  CorvaneDestructionHandler destroy;
  void* destroy_data;
} Host;

static void setCallback(void* user_data, const char* channel, CorvaneMessageCallback callback, void* callback_data) {
  Host* host = user_data;
  if (strcmp(channel, "corvane") != 0) return;
  pthread_mutex_lock(&host->mutex);
  host->callback = callback;
  host->callback_data = callback_data;
  pthread_mutex_unlock(&host->mutex);
}

/* Called once per message, on whichever thread the plug-in answers from. */
static void sendResponse(void* user_data, CorvaneResponseHandle* handle, const uint8_t* data, size_t size) {
  (void)user_data;
  pthread_mutex_lock(&handle->mutex);
  put(&handle->reply, data, size);
  handle->done = 1;
  pthread_cond_signal(&handle->answered);
  pthread_mutex_unlock(&handle->mutex);
}

static void setDestructionHandler(void* user_data, CorvaneDestructionHandler handler, void* handler_data) {
  Host* host = user_data;
  host->destroy = handler;
  host->destroy_data = handler_data;
}

static void printToStandardError(void* user_data, const char* text, size_t length) {
  (void)user_data;
  fprintf(stderr, "%.*s\n", (int)length, text);
}

/* Sends a message on "corvane" and waits for its reply. */
static Buffer sendAndWait(Host* host, const Buffer* message) {
  CorvaneResponseHandle handle = {.done = 0, .reply = {NULL, 0}};
  pthread_mutex_init(&handle.mutex, NULL);
  pthread_cond_init(&handle.answered, NULL);
  pthread_mutex_lock(&host->mutex);
  CorvaneMessageCallback callback = host->callback;
  void* callback_data = host->callback_data;
  pthread_mutex_unlock(&host->mutex);
  if (callback != NULL) {
    const CorvaneMessage delivered = {sizeof delivered, "corvane", message->data, message->size, &handle};
    callback(&delivered, callback_data);
    pthread_mutex_lock(&handle.mutex);
    while (!handle.done) pthread_cond_wait(&handle.answered, &handle.mutex);
    pthread_mutex_unlock(&handle.mutex);
  }
  pthread_cond_destroy(&handle.answered);
  pthread_mutex_destroy(&handle.mutex);
  return handle.reply; /* empty when nobody listens: not implemented */
}

/* ---- Answers ------------------------------------------------------------------------------- */

static void printJsonString(const uint8_t* text, size_t length) {
  putchar('"');
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == '"' || text[i] == '\\') {
      printf("\\%c", text[i]);
    } else if (text[i] < 0x20) {
      printf("\\u%04x", text[i]);
    } else {
      putchar(text[i]);
    }
  }
  putchar('"');
}

/* Prints "METHOD: ANSWER": the answer as JSON (a text, null, true or false), or why there is none. */
static void printAnswer(const char* method, const Buffer* reply) {
  printf("%s: ", method);
  size_t at = 1, size = 0;
  if (reply->size == 0) {
    printf("not implemented\n");
  } else if (reply->data[0] == 1) {
    printf("error reply\n");
  } else if (reply->data[0] != 0 || reply->size < 2) {
    printf("malformed reply\n");
  } else if (reply->data[at] == kNull || reply->data[at] == kTrue || reply->data[at] == kFalse) {
    printf("%s\n", reply->data[at] == kNull ? "null" : reply->data[at] == kTrue ? "true" : "false");
  } else if (reply->data[at++] == kString && readSize(reply, &at, &size) && reply->size - at >= size) {
    printJsonString(reply->data + at, size);
    putchar('\n');
  } else {
    printf("a value of type %d\n", reply->data[1]);
  }
}

static void callAndPrint(Host* host, const char* method, const Buffer* argument) {
  Buffer message = {NULL, 0};
  putString(&message, method);
  put(&message, argument->data, argument->size);
  Buffer reply = sendAndWait(host, &message);
  printAnswer(method, &reply);
  free(message.data);
  free(reply.data);
}

int main(int argc, char** argv) {
  const char* library = NULL;
  int next = 1;
  if (next + 1 < argc && strcmp(argv[next], "--library") == 0) {
    library = argv[next + 1];
    next += 2;
  }
  const int calling = next < argc && strcmp(argv[next], "--call") == 0;
  if (calling ? next + 1 >= argc : next + 1 != argc) {
    fprintf(stderr,
            "usage: c_host [--library FOLDER] FILE\n"
            "       c_host [--library FOLDER] --call METHOD [ARG | ASSET ALBUM [true|false]]\n");
    return 2;
  }

  Host host = {.callback = NULL, .destroy = NULL};
  pthread_mutex_init(&host.mutex, NULL);
  const CorvaneMessenger messenger = {sizeof messenger, &host, setCallback, sendResponse, NULL, NULL};
  const CorvaneConsole console = {sizeof console, NULL, printToStandardError};
  const CorvaneLentServices lent = {sizeof lent, &console, NULL, library, NULL, NULL};
  const CorvanePluginRegistrar registrar = {sizeof registrar, &host, &messenger, setDestructionHandler, &lent};
  CorvanePluginRegisterWithRegistrar(&registrar);

  Buffer argument = {NULL, 0};
  if (!calling) {
    putByte(&argument, kNull);
    callAndPrint(&host, "getPlatformVersion", &argument);
    argument.size = 0;
    putString(&argument, argv[next]);
    callAndPrint(&host, "fingerprintOfFile", &argument);
  } else {
    const char* method = argv[next + 1];
    char** rest = argv + next + 2;
    const int count = argc - next - 2;
    if (strcmp(method, "getIfAssetExistInAlbum") == 0 && count >= 2) {
      putByte(&argument, kMap);
      putSize(&argument, 3);
      putString(&argument, "assetId");
      putString(&argument, rest[0]);
      putString(&argument, "pathId");
      putString(&argument, rest[1]);
      putString(&argument, "isUserAlbum");
      putByte(&argument, count > 2 && strcmp(rest[2], "false") == 0 ? kFalse : kTrue);
    } else if (count >= 1) {
      putString(&argument, rest[0]);
    } else {
      putByte(&argument, kNull);
    }
    callAndPrint(&host, method, &argument);
  }
  free(argument.data);

  /* Release the plug-in (it waits for its library's threads) before the host goes. */
  if (host.destroy != NULL) host.destroy(host.destroy_data);
  pthread_mutex_destroy(&host.mutex);
  return 0;
}
