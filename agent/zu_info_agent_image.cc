// CZuInfoAgent and the index image (index/index_image.h): the start-up
// searches the image where it lies instead of loading the index files; each
// save writes the image of the files it wrote and searches that one. The
// image is a cache: one that cannot be used is said once, removed, and
// written again at the next save, or at the first quiet moment.
#include <utility>

#include "agent/zu_info_agent.h"
#include "index/index_files.h"
#include "platform/alert.h"
#include "platform/file_system.h"
#include "platform/hresult_error.h"
#include "platform/mapped_file.h"

namespace qoinfo {
namespace {

std::u16string ToUtf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

std::u16string ImagePath(const std::u16string& directory) {
  return IndexFilePath(directory, IndexFile::kImage);
}

// Removes the image, also while it is mapped (by this agent's containers
// or by a search snapshot).
void RemoveImage(const std::u16string& directory) {
  platform::RemoveMappedFile(ImagePath(directory));
}

// One line for the log: a cache is not worth an alert.
void LogImageProblem(const std::u16string& directory, ImageProblem problem,
                     const std::u16string& consequence) {
  try {
    platform::LogError(u"QoInfoAgent: the index image " +
                       ImagePath(directory) + u" " +
                       DescribeImageProblem(problem) + u"; " + consequence);
  } catch (...) {
    // Out of memory: the log loses a line, the index nothing.
  }
}

}  // namespace

void CZuInfoAgent::AttachImage(std::shared_ptr<const IndexImage> image) {
  m_idContainer.AttachImage(image);
  m_wordContainer.AttachImage(std::move(image));
}

bool CZuInfoAgent::AttachImageAtStartup(const std::u16string& directory,
                                        ImageProblem* problem) {
  // A save cut while it wrote the image leaves its unfinished file, or the
  // old one set aside.
  platform::RemoveFileIfPresent(ImagePath(directory) + u".saving");
  platform::RemoveFileIfPresent(ImagePath(directory) + u".old");
  std::shared_ptr<const IndexImage> image = OpenIndexImage(directory, problem);
  if (!image) return false;
  AttachImage(std::move(image));
  m_imageCurrent = true;
  return true;
}

void CZuInfoAgent::SetAsideUnusableImage(const std::u16string& directory,
                                         ImageProblem problem) {
  // No image (a new data directory, the first start of this version, or
  // one removed after it was reported): nothing to say, the first quiet
  // moment writes one.
  if (problem == ImageProblem::kMissing || problem == ImageProblem::kNone) {
    return;
  }
  if (problem == ImageProblem::kNoRoom) {
    // The image is sound, only too large for this process; a 64-bit one
    // may still use it. This process writes none.
    m_writeImages = false;
    LogImageProblem(directory, problem,
                    u"the index was loaded from its files instead, and this "
                    u"process writes no image.");
    return;
  }
  RemoveImage(directory);
  LogImageProblem(directory, problem,
                  u"the index was loaded from its files instead, and the "
                  u"image was removed (the next save writes a new one).");
}

HRESULT CZuInfoAgent::RefreshImage() {
  const std::u16string& directory = m_dataDirectory;
  m_imageCurrent = false;
  // The image there is of the files a save just replaced, and may hold
  // pages forgotten since: it goes first (its mapping stays valid).
  RemoveImage(directory);
  if (!m_writeImages) return S_FALSE;
  HRESULT hr = S_OK;
  try {
    hr = SaveIndexImage(directory, m_idContainer, m_wordContainer);
  } catch (...) {
    hr = platform::HResultFromCurrentException();
  }
  if (FAILED(hr)) {
    m_imageFailed = true;
    try {
      platform::LogError(
          u"QoInfoAgent could not write the index image in \"" + directory +
          u"\": " + ToUtf16(platform::HResultCodeText(hr)) +
          u"; the index stays in memory, and the next start-up loads it from "
          u"its files.");
    } catch (...) {
    }
    return hr;
  }
  ImageProblem problem = ImageProblem::kNone;
  std::shared_ptr<const IndexImage> image;
  try {
    image = OpenIndexImage(directory, &problem);
  } catch (...) {
    problem = ImageProblem::kUnreadable;
  }
  if (!image) {
    m_imageFailed = true;
    if (problem == ImageProblem::kNoRoom) m_writeImages = false;
    RemoveImage(directory);
    LogImageProblem(directory, problem,
                    u"it was written but cannot be used, and was removed; the "
                    u"index stays in memory.");
    return problem == ImageProblem::kNoRoom ? E_OUTOFMEMORY : E_FAIL;
  }
  // The pages filed since the last image leave memory for the new one.
  AttachImage(std::move(image));
  platform::ReleaseFreedMemory();
  m_imageCurrent = true;
  m_imageFailed = false;
  return S_OK;
}

bool CZuInfoAgent::ImageDue(std::chrono::steady_clock::time_point now) const {
  return m_indexLoaded && m_writeImages && !m_imageCurrent && !m_imageFailed &&
         now - m_loadedAt >= kIdleCheckpointDelay &&
         now - m_lastChange >= kIdleCheckpointDelay;
}

}  // namespace qoinfo
