// A host's identify, draw and read-back through the loaded plugin.
#include "HostRoad.h"

#include "host/BitmapPixels.h"
#include "host/HostPlugin.h"

Picture takePicture(HBITMAP bitmap, bool withPixels) {
    Picture picture;
    if (bitmap == nullptr) {
        return picture;
    }
    picture.drawn = true;
    if (withPixels) {
        picture.pixels = readBack(bitmap, picture.width, picture.height);
    } else {
        BITMAP shape{};
        if (GetObjectA(bitmap, sizeof shape, &shape) != 0) {
            picture.width = shape.bmWidth;
            picture.height = shape.bmHeight;
        }
    }
    DeleteObject(bitmap);
    return picture;
}

// The exports take the name as a writable pointer; they never write it.
BOOL identifyFile(const std::string& name, HostRecord& host, HANDLE abortEvent) {
    return plugin().identifyFile(nullptr, const_cast<LPSTR>(name.c_str()), &host.info, abortEvent);
}

BOOL identifyFile(const std::wstring& name, HostRecordW& host, HANDLE abortEvent) {
    return plugin().identifyFileW(nullptr, const_cast<LPWSTR>(name.c_str()), &host.info, abortEvent);
}

Picture drawFile(const std::string& name, FileInfoRecord& record, ImageSizeRecord* size, HANDLE abortEvent,
                 bool withPixels) {
    return takePicture(plugin().loadBitmap(nullptr, const_cast<LPSTR>(name.c_str()), &record, size, abortEvent),
                       withPixels);
}

Picture drawFile(const std::wstring& name, FileInfoRecordW& record, ImageSizeRecord* size, HANDLE abortEvent,
                 bool withPixels) {
    return takePicture(plugin().loadBitmapW(nullptr, const_cast<LPWSTR>(name.c_str()), &record, size, abortEvent),
                       withPixels);
}

namespace {

template <class Name, class Record>
HostView<Record> travel(const Name& name, ImageSizeRecord size, HANDLE abortEvent) {
    HostView<Record> view;
    view.identified = identifyFile(name, view.host, abortEvent);
    view.picture = drawFile(name, view.host.info, &size, abortEvent);
    return view;
}

} // namespace

HostView<HostRecord> identifyAndDraw(const std::string& name, ImageSizeRecord size, HANDLE abortEvent) {
    return travel<std::string, HostRecord>(name, size, abortEvent);
}

HostView<HostRecordW> identifyAndDraw(const std::wstring& name, ImageSizeRecord size, HANDLE abortEvent) {
    return travel<std::wstring, HostRecordW>(name, size, abortEvent);
}
