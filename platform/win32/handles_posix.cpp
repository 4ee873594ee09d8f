// Handle table, CloseHandle and the per-thread last error.
#include "kernel_objects_posix.h"

#include <cerrno>
#include <unordered_map>

namespace win32_posix {
namespace {

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    // Never destroyed: handles may still be closed by static destructors and by threads
    // that outlive main.
    static HandleTable* table = new HandleTable;
    return *table;
}

thread_local DWORD lastError = ERROR_SUCCESS;

} // namespace

HANDLE RegisterObject(std::shared_ptr<KernelObject> object) {
    HANDLE handle = object.get();
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> LookupObject(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(handle);
    return it == table.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> UnregisterObject(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    HandleTable& table = Table();
    std::lock_guard lock(table.mutex);
    auto it = table.objects.find(handle);
    if (it == table.objects.end())
        return nullptr;
    auto object = std::move(it->second);
    table.objects.erase(it);
    return object;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case ELOOP:
    case ENAMETOOLONG:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EIO:
        return ERROR_DEVICE_NOT_CONNECTED;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void SetLastErrorFromErrno(int err) {
    lastError = ErrorFromErrno(err);
}

} // namespace win32_posix

using namespace win32_posix;

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

BOOL CloseHandle(HANDLE hObject) {
    auto object = UnregisterObject(hObject);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->OnClose();
    return TRUE;
}
