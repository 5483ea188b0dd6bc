// The kelvo Python module (kelvo._kelvo) over the C interface of kelvo.h.
//
// Frames are read through the buffer protocol, so numpy arrays and their
// strided views are processed where they lie; nothing is copied except for
// out= (one copy into the caller's array) and BGR/RGB (expanded to four bytes
// a pixel and back, inside the call). The GIL is let go while the library
// runs. An engine is guarded by a shared mutex: calls share it, close() takes
// it alone, so closing from one thread while another processes waits instead
// of freeing the engine under it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/kelvo.h"

namespace py = pybind11;

namespace {

struct ErrorTag {};
struct ParameterErrorTag {};
PyObject* errorType = nullptr;           // kelvo.Error(RuntimeError)
PyObject* parameterErrorType = nullptr;  // kelvo.ParameterError(ValueError)

// A failed call as an exception: bad arguments and documents as ValueError,
// everything else as kelvo.Error, with the code in `.code`.
[[noreturn]] void raiseResult(int code, const std::string& message) {
    PyObject* type = (code == KELVO_ERR_INVALID_ARGUMENT || code == KELVO_ERR_INVALID_JSON)
                         ? PyExc_ValueError
                         : errorType;
    py::object error = py::reinterpret_borrow<py::object>(type)(message);
    error.attr("code") = py::int_(code);
    PyErr_SetObject(type, error.ptr());
    throw py::error_already_set();
}

[[noreturn]] void raiseLastError(int code, const char* what) {
    std::string message = kelvo_last_error();
    if (message.empty()) message = "failed";
    raiseResult(code, std::string(what) + ": " + message + " (" + std::to_string(code) + ")");
}

// Names of the command-line tool's --matrix and --range, or codes.
int matrixCode(const py::object& value) {
    static const std::pair<const char*, int> kNames[] = {
        {"rgb", 0},     {"bt709", 1},     {"fcc", 2},       {"bt470bg", 3},
        {"bt601", 4},   {"smpte170m", 4}, {"smpte240m", 5}, {"ycgco", 6},
        {"bt2020", 7},  {"bt2020nc", 7},  {"bt2020c", 8},   {"smpte2085", 9},
    };
    if (py::isinstance<py::str>(value)) {
        const std::string name = value.cast<std::string>();
        for (const auto& n : kNames)
            if (name == n.first) return n.second;
        throw py::value_error("unknown matrix '" + name +
                              "': accepted are bt601 (smpte170m), bt709, bt2020 (bt2020nc), "
                              "bt2020c, fcc, bt470bg, smpte240m, ycgco, rgb and the codes -1 to 9");
    }
    if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) {
        const long code = value.cast<long>();
        if (code >= -1 && code <= 9) return static_cast<int>(code);
    }
    throw py::value_error("matrix must be a name or a code from -1 to 9, not " +
                          py::repr(value).cast<std::string>());
}

int rangeCode(const py::object& value) {
    if (py::isinstance<py::str>(value)) {
        const std::string name = value.cast<std::string>();
        if (name == "limited" || name == "tv") return KELVO_RANGE_LIMITED;
        if (name == "full" || name == "pc") return KELVO_RANGE_FULL;
        throw py::value_error("unknown range '" + name +
                              "': accepted are limited (tv), full (pc) and the codes -1, 0, 1");
    }
    if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) {
        const long code = value.cast<long>();
        if (code >= -1 && code <= 1) return static_cast<int>(code);
    }
    throw py::value_error("range must be 'limited', 'full' or a code -1, 0, 1, not " +
                          py::repr(value).cast<std::string>());
}

// How a format's arrays look. Planar formats: `planes` planes, plane p of
// rows(p) x bytes(p); packed ones: one plane, `channels` bytes a pixel.
struct Layout {
    const char* name;
    int format;       // KELVO_FORMAT_*; BGR and RGB are processed as BGRA
    int planes;       // 1 packed, 2 semi-planar, 3 planar
    int channels;     // packed: bytes a pixel in the caller's array
    bool fullHeightChroma;
    bool swapToBgra;  // three-byte R, G, B: reversed while expanding
};

const Layout kLayouts[] = {
    {"I420", KELVO_FORMAT_I420, 3, 1, false, false},
    {"YV12", KELVO_FORMAT_YV12, 3, 1, false, false},
    {"I422", KELVO_FORMAT_I422, 3, 1, true, false},
    {"NV12", KELVO_FORMAT_NV12, 2, 1, false, false},
    {"NV21", KELVO_FORMAT_NV21, 2, 1, false, false},
    {"RGBA", KELVO_FORMAT_RGBA, 1, 4, false, false},
    {"BGRA", KELVO_FORMAT_BGRA, 1, 4, false, false},
    {"ARGB", KELVO_FORMAT_ARGB, 1, 4, false, false},
    {"ABGR", KELVO_FORMAT_ABGR, 1, 4, false, false},
    {"BGR", KELVO_FORMAT_BGRA, 1, 3, false, false},
    {"RGB", KELVO_FORMAT_BGRA, 1, 3, false, true},
};

const Layout& layoutOf(const std::string& name) {
    for (const Layout& l : kLayouts)
        if (name == l.name) return l;
    throw py::value_error("unknown format '" + name +
                          "': accepted are I420, YV12, I422, NV12, NV21, RGBA, BGRA, ARGB, ABGR, "
                          "BGR and RGB");
}

// One plane of a frame: rows of `rowBytes` bytes, `stride` apart.
struct Plane {
    uint8_t* data = nullptr;
    ptrdiff_t stride = 0;
    int rows = 0;
    int rowBytes = 0;
};

// A frame as the caller's buffers describe it; the buffers stay requested
// (and so alive and unresizable) for as long as this lives.
struct FrameView {
    std::vector<py::buffer_info> buffers;
    Plane planes[3];
    int planeCount = 0;
    int width = 0;
    int height = 0;
};

std::string shapeText(const py::buffer_info& b) {
    std::string s = "(";
    for (size_t i = 0; i < b.shape.size(); ++i) s += (i ? ", " : "") + std::to_string(b.shape[i]);
    return s + (b.shape.size() == 1 ? ",)" : ")");
}

py::buffer_info requestBuffer(const py::handle& object, bool writable, const char* what) {
    if (!PyObject_CheckBuffer(object.ptr()))
        throw py::type_error(std::string(what) + " must be a numpy array (uint8), not " +
                             py::str(py::type::of(object)).cast<std::string>());
    py::buffer_info b;
    try {
        b = py::reinterpret_borrow<py::buffer>(object).request(writable);
    } catch (py::error_already_set&) {
        throw py::value_error(std::string(what) +
                              (writable ? " is read-only: pass out= or copy=True"
                                        : " cannot be read as a buffer"));
    }
    if (b.itemsize != 1 || b.format != "B")
        throw py::value_error(std::string(what) + " must hold uint8 samples, not '" + b.format +
                              "'");
    return b;
}

// A plane from a 2-D array (rows x bytes) or a 3-D one (rows x pixels x
// channels) whose bytes within a row are contiguous.
Plane planeOf(const py::buffer_info& b, int rows, int rowBytes, const char* what) {
    const std::string name = what;
    bool fits = false;
    if (b.ndim == 2) fits = b.shape[0] == rows && b.shape[1] == rowBytes && b.strides[1] == 1;
    if (b.ndim == 3)
        fits = b.shape[0] == rows && b.shape[1] * b.shape[2] == rowBytes && b.strides[2] == 1 &&
               b.strides[1] == b.shape[2];
    if (!fits) {
        if ((b.ndim == 2 && b.shape[0] == rows && b.shape[1] == rowBytes) ||
            (b.ndim == 3 && b.shape[0] == rows && b.shape[1] * b.shape[2] == rowBytes))
            throw py::value_error(name + ": the bytes of a row must be contiguous (a view may "
                                         "skip rows or crop columns, not step through them)");
        throw py::value_error(name + " has shape " + shapeText(b) + ", expected " +
                              std::to_string(rows) + " rows of " + std::to_string(rowBytes) +
                              " bytes");
    }
    if (b.strides[0] < 0)
        throw py::value_error(name + ": rows in reverse order (negative stride) are not "
                                     "accepted; pass a copy");
    if (b.strides[0] > INT_MAX) throw py::value_error(name + ": stride too large");
    Plane p;
    p.data = static_cast<uint8_t*>(b.ptr);
    p.stride = rows > 1 ? b.strides[0] : rowBytes;
    p.rows = rows;
    p.rowBytes = rowBytes;
    return p;
}

int chromaWidth(int width) { return (width + 1) / 2; }

// The frame's planes, from one array or a tuple of planes.
FrameView viewOf(const py::handle& frame, const Layout& layout, bool writable, const char* what) {
    FrameView v;
    const std::string name = what;
    if (py::isinstance<py::tuple>(frame) || py::isinstance<py::list>(frame)) {
        const py::sequence planes = py::reinterpret_borrow<py::sequence>(frame);
        if (layout.planes == 1 || static_cast<int>(planes.size()) != layout.planes)
            throw py::value_error(name + ": " + layout.name + " takes " +
                                  (layout.planes == 1 ? std::string("one array")
                                                      : std::to_string(layout.planes) +
                                                            " planes") +
                                  ", not " + std::to_string(planes.size()));
        for (int p = 0; p < layout.planes; ++p) {
            const py::object plane = planes[p];
            v.buffers.push_back(requestBuffer(plane, writable, what));
        }
        const py::buffer_info& y = v.buffers[0];
        if (y.ndim != 2) throw py::value_error(name + ": the luma plane must be 2-D");
        v.height = static_cast<int>(y.shape[0]);
        v.width = static_cast<int>(y.shape[1]);
        if (y.shape[0] > 16384 || y.shape[1] > 16384 || y.shape[0] < 1 || y.shape[1] < 1)
            throw py::value_error(name + ": width and height must be 1 to 16384");
        const int cw = chromaWidth(v.width);
        const int ch = layout.fullHeightChroma ? v.height : (v.height + 1) / 2;
        v.planes[0] = planeOf(y, v.height, v.width, (name + " plane 0").c_str());
        for (int p = 1; p < layout.planes; ++p)
            v.planes[p] = planeOf(v.buffers[p], ch, layout.planes == 2 ? cw * 2 : cw,
                                  (name + " plane " + std::to_string(p)).c_str());
        v.planeCount = layout.planes;
        return v;
    }
    v.buffers.push_back(requestBuffer(frame, writable, what));
    const py::buffer_info& b = v.buffers[0];
    if (layout.planes == 1) {
        if (b.ndim != 3 || b.shape[2] != layout.channels)
            throw py::value_error(name + " has shape " + shapeText(b) + "; " + layout.name +
                                  " takes height x width x " + std::to_string(layout.channels));
        v.height = static_cast<int>(b.shape[0]);
        v.width = static_cast<int>(b.shape[1]);
        if (b.shape[0] > 16384 || b.shape[1] > 16384 || b.shape[0] < 1 || b.shape[1] < 1)
            throw py::value_error(name + ": width and height must be 1 to 16384");
        v.planes[0] = planeOf(b, v.height, v.width * layout.channels, what);
        v.planeCount = 1;
        return v;
    }
    // One array of the planes one after another: height x width of luma,
    // then the chroma rows (H/2 more rows for 4:2:0, H for 4:2:2).
    const int rowsPerTwoLuma = layout.fullHeightChroma ? 4 : 3;
    if (b.ndim != 2 || b.shape[0] % rowsPerTwoLuma != 0 || b.shape[1] % 2 != 0 ||
        b.shape[0] == 0 || b.shape[1] == 0 || b.shape[0] > 16384 * 2 || b.shape[1] > 16384)
        throw py::value_error(name + " has shape " + shapeText(b) + "; " + layout.name +
                              " takes one (height*" + (layout.fullHeightChroma ? "2" : "3/2") +
                              ") x width array with even width and height, or a tuple of planes");
    v.width = static_cast<int>(b.shape[1]);
    v.height = static_cast<int>(b.shape[0] * 2 / rowsPerTwoLuma);
    const Plane whole = planeOf(b, static_cast<int>(b.shape[0]), v.width, what);
    v.planes[0] = {whole.data, whole.stride, v.height, v.width};
    uint8_t* chroma = whole.data + whole.stride * v.height;
    if (layout.planes == 2) {
        // Interleaved chroma: H/2 rows of W bytes, the array's own stride.
        v.planes[1] = {chroma, whole.stride, v.height / 2, v.width};
    } else {
        // Chroma planes of W/2-byte rows packed two to an array row, which
        // holds only while the array's rows are not padded.
        if (whole.stride != v.width)
            throw py::value_error(name + ": a planar frame as one array must be contiguous; "
                                         "pass a tuple of planes for padded rows");
        const int ch = layout.fullHeightChroma ? v.height : v.height / 2;
        const int cw = v.width / 2;
        v.planes[1] = {chroma, cw, ch, cw};
        v.planes[2] = {chroma + static_cast<ptrdiff_t>(cw) * ch, cw, ch, cw};
    }
    v.planeCount = layout.planes;
    return v;
}

bool sameShape(const FrameView& a, const FrameView& b) {
    if (a.planeCount != b.planeCount || a.width != b.width || a.height != b.height) return false;
    for (int p = 0; p < a.planeCount; ++p)
        if (a.planes[p].rows != b.planes[p].rows || a.planes[p].rowBytes != b.planes[p].rowBytes)
            return false;
    return true;
}

void copyPlanes(const FrameView& from, const FrameView& to) {
    for (int p = 0; p < from.planeCount; ++p) {
        const Plane& s = from.planes[p];
        const Plane& d = to.planes[p];
        for (int r = 0; r < s.rows; ++r)
            std::memmove(d.data + d.stride * r, s.data + s.stride * r,
                         static_cast<size_t>(s.rowBytes));
    }
}

// Three bytes a pixel to B, G, R, A and back; `swap` reverses R and B.
void expand(const Plane& from, uint8_t* to, bool swap, int width) {
    for (int r = 0; r < from.rows; ++r) {
        const uint8_t* s = from.data + from.stride * r;
        uint8_t* d = to + static_cast<size_t>(r) * width * 4;
        for (int x = 0; x < width; ++x, s += 3, d += 4) {
            d[0] = swap ? s[2] : s[0];
            d[1] = s[1];
            d[2] = swap ? s[0] : s[2];
            d[3] = 255;
        }
    }
}

void contract(const uint8_t* from, const Plane& to, bool swap, int width) {
    for (int r = 0; r < to.rows; ++r) {
        const uint8_t* s = from + static_cast<size_t>(r) * width * 4;
        uint8_t* d = to.data + to.stride * r;
        for (int x = 0; x < width; ++x, s += 4, d += 3) {
            d[0] = swap ? s[2] : s[0];
            d[1] = s[1];
            d[2] = swap ? s[0] : s[2];
        }
    }
}

py::object newArrayLike(const py::handle& frame) {
    py::module_ np = py::module_::import("numpy");
    if (py::isinstance<py::tuple>(frame) || py::isinstance<py::list>(frame)) {
        py::list planes;
        for (const py::handle plane : frame)
            planes.append(np.attr("empty")(py::getattr(plane, "shape"), "uint8"));
        return py::tuple(planes);
    }
    return np.attr("empty")(py::getattr(frame, "shape"), "uint8");
}

class Engine {
public:
    Engine(const std::string& backend, int threads) {
        py::object config = py::module_::import("json").attr("dumps")(
            py::dict(py::arg("backend") = backend, py::arg("threads") = threads));
        const std::string text = config.cast<std::string>();
        int result;
        {
            py::gil_scoped_release release;
            result = kelvo_create(text.c_str(), &engine_);
        }
        if (result != KELVO_OK) raiseLastError(result, "cannot create the engine");
    }
    ~Engine() { kelvo_destroy(engine_); }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void close() {
        py::gil_scoped_release release;
        std::unique_lock<std::shared_mutex> lock(mutex_);
        kelvo_destroy(engine_);
        engine_ = nullptr;
    }

    // Effects by name or id; each effect selected for the first time starts
    // from the integrations' defaults (enabled, the schema's
    // integration_default) except for members the caller set already.
    void setEffects(const py::object& effects) {
        std::vector<int> ids;
        const py::sequence items = py::isinstance<py::str>(effects)
                                       ? effects.attr("split")(",").cast<py::sequence>()
                                       : effects.cast<py::sequence>();
        for (const py::handle item : items) {
            int id = 0;
            if (py::isinstance<py::str>(item)) {
                const std::string name = item.cast<std::string>();
                id = kelvo_effect_id(name.c_str());
                if (id == 0)
                    throw py::value_error("unknown effect '" + name +
                                          "': accepted are denoise, lowlight, color (colour), "
                                          "beauty and the ids 101-104");
            } else if (py::isinstance<py::int_>(item) && !py::isinstance<py::bool_>(item)) {
                id = item.cast<int>();
            } else {
                throw py::type_error("effects are names or ids, not " +
                                     py::repr(item).cast<std::string>());
            }
            ids.push_back(id);
        }
        if (ids.empty()) throw py::value_error("no effect given");
        int result;
        {
            py::gil_scoped_release release;
            std::shared_lock<std::shared_mutex> lock(mutex_);
            result = engine_ ? kelvo_set_effects(engine_, ids.data(), ids.size()) : closedCode;
        }
        check(result, "set_effects");
        for (int id : ids) {
            if (!started_.insert(id).second) continue;
            const py::object defaults = integrationDefaults(id);
            if (defaults.is_none()) continue;
            const py::tuple pair = defaults;
            const std::string key = pair[0].cast<std::string>();
            const py::dict document = pair[1];
            for (const std::string& member : callerSet_[key])
                if (document.contains(member)) PyDict_DelItemString(document.ptr(), member.c_str());
            if (document.size() > 0) apply(key, document, false);
        }
    }

    void setParameter(const std::string& key, const py::object& value) {
        apply(key, value, true);
    }

    std::string info(const std::string& key) {
        std::vector<char> text(64);
        size_t length = 0;
        int result;
        {
            py::gil_scoped_release release;
            std::shared_lock<std::shared_mutex> lock(mutex_);
            result = engine_ ? kelvo_get_info(engine_, key.c_str(), text.data(), text.size(),
                                              &length)
                             : closedCode;
            if (result == KELVO_OK && length >= text.size()) {
                text.resize(length + 1);
                result = kelvo_get_info(engine_, key.c_str(), text.data(), text.size(), &length);
            }
        }
        check(result, "info");
        return std::string(text.data());
    }

    py::object process(const py::object& frame, const std::string& format,
                       const py::object& matrix, const py::object& range,
                       const py::object& timestamp, py::object out, bool copy) {
        const Layout& layout = layoutOf(format);
        kelvo_frame f;
        std::memset(&f, 0, sizeof f);
        f.size = sizeof f;
        f.format = layout.format;
        f.color_matrix = matrixCode(matrix);
        f.color_range = rangeCode(range);
        if (!timestamp.is_none()) {
            const double seconds = PyFloat_AsDouble(timestamp.ptr());
            if (seconds == -1.0 && PyErr_Occurred()) throw py::error_already_set();
            if (!std::isfinite(seconds) || std::fabs(seconds) > 9.2e12)
                throw py::value_error("timestamp must be a finite number of seconds");
            f.has_timestamp = 1;
            f.timestamp_us = static_cast<int64_t>(std::llround(seconds * 1e6));
        }
        if (copy && !out.is_none()) throw py::value_error("give out= or copy=True, not both");
        if (copy) out = newArrayLike(frame);
        const bool separate = !out.is_none();
        const FrameView in = viewOf(frame, layout, !separate, "frame");
        FrameView target;
        if (separate) {
            target = viewOf(out, layout, true, "out");
            if (!sameShape(in, target))
                throw py::value_error("out must have the frame's shape (" + shapeText(in.buffers[0]) +
                                      ")");
        }
        const FrameView& work = separate ? target : in;
        f.width = work.width;
        f.height = work.height;
        for (int p = 0; p < work.planeCount; ++p) {
            f.planes[p] = work.planes[p].data;
            f.strides[p] = static_cast<int>(work.planes[p].stride);
        }
        int result;
        std::string error;
        {
            py::gil_scoped_release release;
            std::shared_lock<std::shared_mutex> lock(mutex_);
            if (!engine_) {
                result = closedCode;
            } else if (layout.channels == 3) {
                // One frame at a time uses the engine's scratch picture.
                std::lock_guard<std::mutex> scratchLock(scratchMutex_);
                result = processThreeBytes(f, in, work, layout.swapToBgra);
            } else {
                if (separate) copyPlanes(in, target);
                result = kelvo_process(engine_, &f);
            }
            if (result != KELVO_OK && result != closedCode) error = kelvo_last_error();
        }
        // No effect enabled leaves the picture as it came, as kelvo-enhance
        // passes such frames on.
        if (result != KELVO_OK && result != KELVO_ERR_NO_EFFECT) {
            if (result == closedCode) check(result, "process");
            raiseResult(result, "process: " + (error.empty() ? std::string("failed") : error) +
                                    " (" + std::to_string(result) + ")");
        }
        return separate ? out : frame;
    }

private:
    static constexpr int closedCode = INT_MIN;

    int processThreeBytes(kelvo_frame& f, const FrameView& in, const FrameView& work, bool swap) {
        const size_t bytes = static_cast<size_t>(f.width) * f.height * 4;
        try {
            if (scratch_.size() < bytes) scratch_.resize(bytes);
        } catch (...) {
            return KELVO_ERR_FAILED;
        }
        expand(in.planes[0], scratch_.data(), swap, f.width);
        f.planes[0] = scratch_.data();
        f.strides[0] = f.width * 4;
        const int result = kelvo_process(engine_, &f);
        // Written back also when nothing was enabled, so out= holds the frame.
        if (result == KELVO_OK || result == KELVO_ERR_NO_EFFECT || &in != &work)
            contract(scratch_.data(), work.planes[0], swap, f.width);
        return result;
    }

    void check(int result, const char* what) {
        if (result == closedCode) throw py::value_error(std::string(what) + ": the engine is closed");
        if (result != KELVO_OK) raiseLastError(result, what);
    }

    // (key, {member: integration default}) of the effect's members whose
    // integration default differs from the library's, or None.
    static py::object integrationDefaults(int id) {
        const py::object schema = py::module_::import("json").attr("loads")(kelvo_settings_schema());
        for (const py::handle key : schema["keys"]) {
            const py::object effect = key["effect_id"];
            if (effect.is_none() || effect.cast<int>() != id) continue;
            py::dict document;
            for (const py::handle m : key["members"])
                if (!m["integration_default"].equal(m["default"]))
                    document[m["name"]] = m["integration_default"];
            return py::make_tuple(key["key"], document);
        }
        return py::none();
    }

    // Applies a document (dict or JSON text); refused members raise
    // ParameterError after the valid ones were applied.
    void apply(const std::string& key, const py::object& value, bool fromCaller) {
        py::module_ json = py::module_::import("json");
        std::string text;
        py::object members = py::none();
        if (py::isinstance<py::str>(value)) {
            text = value.cast<std::string>();
            try {
                members = json.attr("loads")(value);
            } catch (py::error_already_set&) {
                members = py::none();  // the library says why
            }
        } else if (py::isinstance<py::dict>(value)) {
            text = json.attr("dumps")(value).cast<std::string>();
            members = value;
        } else {
            throw py::type_error("a parameter document is a dict or JSON text, not " +
                                 py::str(py::type::of(value)).cast<std::string>());
        }
        std::vector<kelvo_rejection> items(64);
        kelvo_rejections rejections;
        rejections.size = sizeof rejections;
        rejections.item_size = sizeof(kelvo_rejection);
        rejections.items = items.data();
        rejections.capacity = items.size();
        rejections.count = 0;
        int result;
        {
            py::gil_scoped_release release;
            std::shared_lock<std::shared_mutex> lock(mutex_);
            result = engine_ ? kelvo_set_parameter(engine_, key.c_str(), text.c_str(), &rejections)
                             : closedCode;
        }
        check(result, "set_parameter");
        std::set<std::string> refused;
        py::dict rejected;
        std::string message;
        for (size_t i = 0; i < rejections.count && i < rejections.capacity; ++i) {
            refused.insert(items[i].member);
            rejected[py::str(items[i].member)] = py::str(items[i].text);
            message += (message.empty() ? "" : "; ") + std::string(items[i].text);
        }
        if (rejections.count > rejections.capacity)
            message += "; and " + std::to_string(rejections.count - rejections.capacity) + " more";
        if (fromCaller && py::isinstance<py::dict>(members) && !refused.count(""))
            for (const auto& item : py::reinterpret_borrow<py::dict>(members)) {
                const std::string member = py::str(item.first).cast<std::string>();
                if (!refused.count(member)) callerSet_[key].insert(member);
            }
        if (!message.empty()) {
            py::object error = py::reinterpret_borrow<py::object>(parameterErrorType)(
                "set_parameter " + key + ": " + message);
            error.attr("rejected") = rejected;
            error.attr("code") = static_cast<int>(KELVO_ERR_INVALID_ARGUMENT);
            PyErr_SetObject(parameterErrorType, error.ptr());
            throw py::error_already_set();
        }
    }

    kelvo_engine* engine_ = nullptr;
    std::shared_mutex mutex_;
    std::mutex scratchMutex_;
    std::vector<uint8_t> scratch_;
    std::set<int> started_;
    std::map<std::string, std::set<std::string>> callerSet_;
};

}  // namespace

PYBIND11_MODULE(_kelvo, m) {
    m.doc() = "The kelvo video-enhancement library on numpy frames.";
    // Kept for the life of the process, like the module.
    errorType = py::exception<ErrorTag>(m, "Error", PyExc_RuntimeError).inc_ref().ptr();
    parameterErrorType =
        py::exception<ParameterErrorTag>(m, "ParameterError", PyExc_ValueError).inc_ref().ptr();
    m.attr("version") = kelvo_version();
    m.def("settings", [] {
        const char* text = kelvo_settings_schema();
        if (!text) raiseLastError(KELVO_ERR_FAILED, "settings");
        return py::module_::import("json").attr("loads")(text);
    });
    py::class_<Engine>(m, "Engine")
        .def(py::init<const std::string&, int>(), py::arg("backend") = "auto",
             py::arg("threads") = 0)
        .def("set_effects", &Engine::setEffects, py::arg("effects"))
        .def("set_parameter", &Engine::setParameter, py::arg("key"), py::arg("document"))
        .def("info", &Engine::info, py::arg("key"))
        .def("process", &Engine::process, py::arg("frame"), py::arg("format") = "I420", py::arg("matrix") = py::str("bt601"),
             py::arg("range") = py::str("limited"), py::arg("timestamp") = py::none(),
             py::arg("out") = py::none(), py::arg("copy") = false)
        .def("close", &Engine::close)
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Engine& self, const py::args&) { self.close(); });
}
