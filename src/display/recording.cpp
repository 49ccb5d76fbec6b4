#include "display/recording.hpp"

#include <bit>
#include <cstring>

#include "platform/files.hpp"

namespace {

constexpr int64_t kMaxAnimationBytes = int64_t(1) << 30;

void put(std::string& out, const void* data, size_t n) {
    out.append(static_cast<const char*>(data), n);
}
template <class T>
void putLe(std::string& out, T value) {
    // The files are little-endian, as the machines we run on are.
    static_assert(std::endian::native == std::endian::little);
    put(out, &value, sizeof value);
}

}  // namespace

bool animationFileNames(const std::string& latticeName, std::string& particles, std::string& view) {
    std::string base = latticeName.empty() ? "pelto" : latticeName;
    particles = base + ".anim";
    view = base + "2.anim";
    return isSafeFileName(particles) && isSafeFileName(view);
}

bool recordFrame(const DisplayFrame& frame, const RecordedView& view) {
    std::string particlesFile, viewFile;
    if (!animationFileNames(frame.latticeName, particlesFile, viewFile)) return false;
    if (fileSize(particlesFile) > kMaxAnimationBytes) return false;

    std::string p;
    if (!fileExists(particlesFile)) put(p, "PELTOAN1", 8);
    putLe<double>(p, frame.time);
    putLe<uint32_t>(p, static_cast<uint32_t>(frame.particles.size()));
    for (const DisplayParticle& q : frame.particles) {
        putLe<float>(p, static_cast<float>(q.position.x));
        putLe<float>(p, static_cast<float>(q.position.y));
        putLe<float>(p, static_cast<float>(q.position.z));
        putLe<float>(p, static_cast<float>(q.kineticMeV));
        putLe<int8_t>(p, static_cast<int8_t>(q.species));
        putLe<int8_t>(p, static_cast<int8_t>(q.state));
        putLe<int16_t>(p, 0);
    }
    std::string v;
    if (!fileExists(viewFile)) put(v, "PELTOAV1", 8);
    putLe<double>(v, frame.time);
    putLe<float>(v, static_cast<float>(view.zMin));
    putLe<float>(v, static_cast<float>(view.zMax));
    putLe<float>(v, static_cast<float>(view.acrossMin));
    putLe<float>(v, static_cast<float>(view.acrossMax));
    putLe<uint16_t>(v, view.showMask);
    putLe<uint8_t>(v, view.colourMode);
    putLe<uint8_t>(v, view.projection);
    return appendToFile(particlesFile, p) && appendToFile(viewFile, v);
}
