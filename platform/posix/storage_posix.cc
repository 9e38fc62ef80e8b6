// Compound files over libgsf. A created file is written by GsfOutfileMSOle
// (version 3: 512-byte sectors, 4096-byte mini-stream cutoff, as Windows
// writes them); an opened one is read by GsfInfileMSOle. Each storage and
// stream is a reference-counted object; a stream keeps its storage alive.
// Objects are used from one thread at a time.
#include <fcntl.h>
#include <gsf/gsf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/plain_file.h"
#include "platform/posix/data_file_posix.h"
#include "platform/storage.h"
#include "platform/utf8.h"
#include "platform/wide_string.h"

namespace {

std::string Utf8Name(const OLECHAR* name) {
  return platform::Utf16ToUtf8(name != nullptr ? name : u"");
}

HRESULT FromErrno(int error, HRESULT otherwise) {
  switch (error) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR: return STG_E_PATHNOTFOUND;
    case EACCES: case EPERM: case EROFS: return STG_E_ACCESSDENIED;
    case ENOSPC: case EDQUOT: return STG_E_MEDIUMFULL;
    case ENOMEM: return E_OUTOFMEMORY;
    default: return otherwise;
  }
}

// The reference count and QueryInterface shared by the four classes.
template <typename Interface>
class RefCounted : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (!Answers(riid)) return E_NOINTERFACE;
    *object = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~RefCounted() = default;
  virtual bool Answers(REFIID riid) const = 0;

 private:
  std::atomic<ULONG> references_{1};
};

bool AnswersStream(REFIID riid) {
  return riid == IID_IUnknown || riid == IID_ISequentialStream ||
         riid == IID_IStream;
}

bool AnswersStorage(REFIID riid) {
  return riid == IID_IUnknown || riid == IID_IStorage;
}

HRESULT SeekResult(gsf_off_t position, ULARGE_INTEGER* out) {
  if (out != nullptr) out->QuadPart = static_cast<std::uint64_t>(position);
  return S_OK;
}

GSeekType SeekType(DWORD origin) {
  return origin == STREAM_SEEK_SET ? G_SEEK_SET
         : origin == STREAM_SEEK_CUR ? G_SEEK_CUR
                                     : G_SEEK_END;
}

// ---- writing ---------------------------------------------------------------

class WriteStorage;

class WriteStream final : public RefCounted<IStream> {
 public:
  WriteStream(IStorage* storage, GsfOutput* output)
      : storage_(storage), output_(output) {
    storage_->AddRef();
  }

  HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override {
    if (read != nullptr) *read = 0;
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size,
                                  ULONG* written) override {
    if (written != nullptr) *written = 0;
    if (buffer == nullptr && size > 0) return STG_E_INVALIDPOINTER;
    if (gsf_output_is_closed(output_)) return STG_E_REVERTED;
    if (size > 0 &&
        !gsf_output_write(output_, size, static_cast<const guint8*>(buffer))) {
      return STG_E_WRITEFAULT;
    }
    if (written != nullptr) *written = size;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    if (gsf_output_seek(output_, move.QuadPart, SeekType(origin))) {
      return STG_E_INVALIDFUNCTION;
    }
    return SeekResult(gsf_output_tell(output_), position);
  }

 private:
  ~WriteStream() override {
    if (!gsf_output_is_closed(output_)) gsf_output_close(output_);
    g_object_unref(output_);
    storage_->Release();
  }
  bool Answers(REFIID riid) const override { return AnswersStream(riid); }

  IStorage* storage_;
  GsfOutput* output_;
};

class WriteStorage final : public RefCounted<IStorage> {
 public:
  WriteStorage(GsfOutput* sink, GsfOutfile* outfile)
      : sink_(sink), outfile_(outfile) {}

  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* name, DWORD mode,
                                         DWORD, DWORD,
                                         IStream** stream) override {
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (name == nullptr || *name == 0) return STG_E_INVALIDPARAMETER;
    if ((mode & (STGM_WRITE | STGM_READWRITE)) == 0) return STG_E_INVALIDFLAG;
    if (committed_) return STG_E_REVERTED;
    GsfOutput* child = gsf_outfile_new_child(outfile_, Utf8Name(name).c_str(),
                                             FALSE);
    if (child == nullptr) return STG_E_WRITEFAULT;
    auto* created = new (std::nothrow) WriteStream(this, child);
    if (created == nullptr) {
      gsf_output_close(child);
      g_object_unref(child);
      return E_OUTOFMEMORY;
    }
    *stream = created;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR*, void*, DWORD, DWORD,
                                       IStream** stream) override {
    if (stream != nullptr) *stream = nullptr;
    return STG_E_ACCESSDENIED;
  }
  // Completes the file: writes the directory and allocation tables, closes
  // it, and reports whether every byte reached the file system.
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override {
    if (committed_) return S_OK;
    committed_ = true;
    const bool outfile_ok = gsf_output_close(GSF_OUTPUT(outfile_));
    // The root outfile closes its sink; close it here only if it did not.
    const bool sink_ok = gsf_output_is_closed(sink_) || gsf_output_close(sink_);
    return outfile_ok && sink_ok ? S_OK : STG_E_WRITEFAULT;
  }

 private:
  ~WriteStorage() override {
    Commit(STGC_DEFAULT);
    g_object_unref(outfile_);
    g_object_unref(sink_);
  }
  bool Answers(REFIID riid) const override { return AnswersStorage(riid); }

  GsfOutput* sink_;
  GsfOutfile* outfile_;
  bool committed_ = false;
};

// ---- reading ---------------------------------------------------------------

class ReadStream final : public RefCounted<IStream> {
 public:
  ReadStream(IStorage* storage, GsfInput* input)
      : storage_(storage), input_(input) {
    storage_->AddRef();
  }

  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size,
                                 ULONG* read) override {
    if (read != nullptr) *read = 0;
    if (buffer == nullptr && size > 0) return STG_E_INVALIDPOINTER;
    const gsf_off_t remaining = gsf_input_remaining(input_);
    const ULONG count = remaining < static_cast<gsf_off_t>(size)
                            ? static_cast<ULONG>(remaining < 0 ? 0 : remaining)
                            : size;
    if (count > 0 &&
        gsf_input_read(input_, count, static_cast<guint8*>(buffer)) == nullptr) {
      return STG_E_READFAULT;
    }
    if (read != nullptr) *read = count;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
    if (written != nullptr) *written = 0;
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    if (origin > STREAM_SEEK_END) return STG_E_INVALIDFUNCTION;
    if (gsf_input_seek(input_, move.QuadPart, SeekType(origin))) {
      return STG_E_INVALIDFUNCTION;
    }
    return SeekResult(gsf_input_tell(input_), position);
  }

 private:
  ~ReadStream() override {
    g_object_unref(input_);
    storage_->Release();
  }
  bool Answers(REFIID riid) const override { return AnswersStream(riid); }

  IStorage* storage_;
  GsfInput* input_;
};

class ReadStorage final : public RefCounted<IStorage> {
 public:
  explicit ReadStorage(GsfInfile* infile) : infile_(infile) {}

  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR*, DWORD, DWORD, DWORD,
                                         IStream** stream) override {
    if (stream != nullptr) *stream = nullptr;
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* name, void*, DWORD mode,
                                       DWORD, IStream** stream) override {
    if (stream == nullptr) return STG_E_INVALIDPOINTER;
    *stream = nullptr;
    if (name == nullptr) return STG_E_INVALIDPARAMETER;
    if ((mode & (STGM_WRITE | STGM_READWRITE)) != 0) return STG_E_ACCESSDENIED;
    GsfInput* child = gsf_infile_child_by_name(infile_, Utf8Name(name).c_str());
    if (child == nullptr) return STG_E_FILENOTFOUND;
    // A sub-storage of that name is not a stream.
    if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0) {
      g_object_unref(child);
      return STG_E_FILENOTFOUND;
    }
    auto* opened = new (std::nothrow) ReadStream(this, child);
    if (opened == nullptr) {
      g_object_unref(child);
      return E_OUTOFMEMORY;
    }
    *stream = opened;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }

 private:
  ~ReadStorage() override { g_object_unref(infile_); }
  bool Answers(REFIID riid) const override { return AnswersStorage(riid); }

  GsfInfile* infile_;
};

HRESULT CheckArguments(const OLECHAR* name, DWORD format, REFIID riid,
                       void** object) {
  static const bool initialised = [] {
    gsf_init();
    // libgsf reports the inconsistencies of a damaged file as GLib criticals
    // on stderr; damage is reported to our callers through results instead.
    for (const char* domain : {"libgsf", "libgsf:msole"}) {
      g_log_set_handler(
          domain,
          static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING),
          [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    }
    return true;
  }();
  (void)initialised;
  if (object == nullptr) return STG_E_INVALIDPOINTER;
  *object = nullptr;
  if (name == nullptr) return STG_E_INVALIDPARAMETER;
  if (format != STGFMT_STORAGE) return STG_E_INVALIDPARAMETER;
  if (!AnswersStorage(riid)) return E_NOINTERFACE;
  return S_OK;
}

}  // namespace

HRESULT StgCreateStorageEx(const OLECHAR* name, DWORD mode, DWORD format,
                           DWORD, STGOPTIONS*, void*, REFIID riid,
                           void** object) {
  if (HRESULT hr = CheckArguments(name, format, riid, object); FAILED(hr)) {
    return hr;
  }
  if ((mode & STGM_CREATE) == 0 || (mode & (STGM_WRITE | STGM_READWRITE)) == 0) {
    return STG_E_INVALIDFLAG;
  }
  const std::string path = Utf8Name(name);
  // A new compound file is an index file.
  const int fd = platform::OpenDataFile(path, O_WRONLY | O_CREAT | O_TRUNC);
  if (fd < 0) {
    return errno == ELOOP ? platform::kSymbolicLink
                          : FromErrno(errno, STG_E_WRITEFAULT);
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    return FromErrno(error, STG_E_WRITEFAULT);
  }
  GsfOutput* sink = gsf_output_stdio_new_FILE(path.c_str(), file, FALSE);
  if (sink == nullptr) {
    std::fclose(file);
    return STG_E_WRITEFAULT;
  }
  GsfOutfile* outfile = gsf_outfile_msole_new(sink);
  if (outfile == nullptr) {
    gsf_output_close(sink);
    g_object_unref(sink);
    return STG_E_WRITEFAULT;
  }
  auto* storage = new (std::nothrow) WriteStorage(sink, outfile);
  if (storage == nullptr) {
    gsf_output_close(GSF_OUTPUT(outfile));
    g_object_unref(outfile);
    gsf_output_close(sink);
    g_object_unref(sink);
    return E_OUTOFMEMORY;
  }
  *object = static_cast<IStorage*>(storage);
  return S_OK;
}

HRESULT StgOpenStorageEx(const OLECHAR* name, DWORD mode, DWORD format, DWORD,
                         STGOPTIONS*, void*, REFIID riid, void** object) {
  if (HRESULT hr = CheckArguments(name, format, riid, object); FAILED(hr)) {
    return hr;
  }
  if ((mode & (STGM_WRITE | STGM_READWRITE | STGM_CREATE)) != 0) {
    return STG_E_INVALIDFLAG;
  }
  const std::string path = Utf8Name(name);
  // A device or a FIFO would be read without end or block the caller.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno, STG_E_READFAULT);
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return platform::kNotARegularFile;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) {
    ::close(fd);
    return FromErrno(errno, STG_E_READFAULT);
  }
  GsfInput* input = gsf_input_stdio_new_FILE(path.c_str(), file, FALSE);
  if (input == nullptr) {
    std::fclose(file);
    return STG_E_READFAULT;
  }
  GError* error = nullptr;
  GsfInfile* infile = gsf_infile_msole_new(input, &error);
  g_object_unref(input);
  if (infile == nullptr) {
    if (error != nullptr) g_error_free(error);
    // Windows' answer for a file that is not a compound file.
    return STG_E_FILEALREADYEXISTS;
  }
  auto* storage = new (std::nothrow) ReadStorage(infile);
  if (storage == nullptr) {
    g_object_unref(infile);
    return E_OUTOFMEMORY;
  }
  *object = static_cast<IStorage*>(storage);
  return S_OK;
}
