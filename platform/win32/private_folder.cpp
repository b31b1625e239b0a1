// The private folder of the Windows Env: made with a protected access list
// that lets only its maker in, and passed only when it is a folder of its
// own (no reparse point), owned by the current user, whose access list
// lets no one else create or remove entries.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "folder_names.h"
#include "platform/system.h"
#include "win32_env.h"

namespace platform::win32 {
namespace {

// What others must not be granted on the folder.
constexpr DWORD kChangesEntries =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

// The current user's SID, in `*buffer`.
PSID currentUser(std::vector<char>* buffer) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  buffer->resize(size);
  const bool known = size != 0 && ::GetTokenInformation(token, TokenUser, buffer->data(), size, &size);
  ::CloseHandle(token);
  return known ? reinterpret_cast<TOKEN_USER*>(buffer->data())->User.Sid : nullptr;
}

bool createOwnFolder(const std::string& path, PSID user) {
  char* userText = nullptr;
  if (!::ConvertSidToStringSidA(user, &userText)) return failWithLastError();
  std::unique_ptr<char, LocalFreer> ownedText(userText);
  const std::string descriptor = std::string("D:P(A;OICI;FA;;;") + userText + ")";
  PSECURITY_DESCRIPTOR security = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor.c_str(), SDDL_REVISION_1, &security,
                                                               nullptr)) {
    return failWithLastError();
  }
  std::unique_ptr<void, LocalFreer> ownedSecurity(security);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
  return makeFolderNamed(path, &attributes) || ::GetLastError() == ERROR_ALREADY_EXISTS ||
         failWithLastError();
}

// The system itself and the administrators may change any file anyway:
// Windows grants them every folder, and refusing them would refuse every
// folder there is.
bool isPrivileged(PSID sid) {
  return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// True when no entry of `acl` grants anyone but `user` (and the privileged)
// a change of entries.
bool onlyUserMayChange(PACL acl, PSID user) {
  // No access list at all lets everyone in.
  if (acl == nullptr) return false;
  for (DWORD index = 0; index < acl->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(acl, index, &entry)) return false;
    const auto* header = static_cast<ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    PSID grantee = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kChangesEntries) != 0 && !::EqualSid(grantee, user) && !isPrivileged(grantee)) return false;
  }
  return true;
}

}  // namespace

bool Win32Env::makePrivateFolder(const std::string& path) {
  std::vector<char> userBuffer;
  PSID user = currentUser(&userBuffer);
  if (user == nullptr) return failWithLastError();
  if (!createOwnFolder(path, user)) return false;
  HANDLE folder = ::CreateFileA(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return failWithLastError();
  BY_HANDLE_FILE_INFORMATION status;
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR security = nullptr;
  const bool examined =
      ::GetFileInformationByHandle(folder, &status) &&
      ::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                        nullptr, &acl, nullptr, &security) == ERROR_SUCCESS;
  ::CloseHandle(folder);
  std::unique_ptr<void, LocalFreer> ownedSecurity(security);
  if (!examined) return fail(ERROR_ACCESS_DENIED);
  const bool private_ = (status.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (status.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && owner != nullptr &&
                        ::EqualSid(owner, user) && onlyUserMayChange(acl, user);
  return private_ || fail(ERROR_ACCESS_DENIED);
}

}  // namespace platform::win32
