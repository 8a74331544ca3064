// The mesh and texture loading methods of the helper library, and the
// prefetch that prepares their files on worker threads ahead of the calls.
#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "base/Errors.h"
#include "platform/d3dx/D3DX8.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"

namespace {

using RequestKey = std::tuple<std::string, UINT, UINT, UINT, D3DPOOL, DWORD, DWORD, D3DCOLOR>;

RequestKey KeyOf(const TextureRequest& r) {
    return {r.path, r.width, r.height, r.mipLevels, r.pool, r.filter, r.mipFilter, r.colorKey};
}

TextureOptions OptionsOf(const TextureRequest& r) {
    TextureOptions options;
    options.width = r.width;
    options.height = r.height;
    options.mipLevels = r.mipLevels;
    options.filter = r.filter;
    options.mipFilter = r.mipFilter;
    options.colorKey = r.colorKey;
    return options;
}

// A texture file read and decoded ahead. Reading errors belong to the job;
// a decoding error is kept apart because the caller decodes only when no
// texture with the same bytes exists yet.
struct PreparedTexture {
    std::string file;
    std::string bytes;
    std::optional<TextureImage> image;  // empty when not decoded (an earlier request made the same one)
    std::exception_ptr decodeError;
};

// Decoded images waiting to be taken, at most: the workers run ahead of the
// loads by this much and no further, so the prefetch adds little memory.
constexpr size_t kMaxReadyImages = 2;

}  // namespace

class D3DX8::Prefetcher {
public:
    explicit Prefetcher(const std::vector<std::variant<TextureRequest, MeshRequest>>& requests) {
        for (size_t i = 0; i < requests.size(); ++i) Enqueue({i, 0}, requests[i]);
        const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        try {
            for (unsigned i = 0; i < threads; ++i) workers_.emplace_back(&Prefetcher::Work, this);
        } catch (const std::system_error&) {
            // Fewer workers only means the loads do more of the work themselves.
        }
    }

    ~Prefetcher() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    // The prepared texture for this request, or nothing when it was not asked
    // for; rethrows what reading the file threw.
    std::optional<PreparedTexture> TakeTexture(const TextureRequest& request) {
        std::unique_lock lock(mutex_);
        auto [first, last] = textureJobs_.equal_range(KeyOf(request));
        if (first == last) return std::nullopt;
        auto earliest = std::min_element(first, last, [](const auto& a, const auto& b) { return a.second < b.second; });
        const Order order = earliest->second;
        textureJobs_.erase(earliest);
        std::unique_ptr<Job> job = Claim(lock, order);
        if (job->error) std::rethrow_exception(job->error);
        return std::move(job->texture);
    }

    std::optional<XMesh> TakeMesh(const std::string& path) {
        std::unique_lock lock(mutex_);
        auto found = meshJobs_.find(path);
        if (found == meshJobs_.end()) return std::nullopt;
        const Order order = found->second;
        meshJobs_.erase(found);
        std::unique_ptr<Job> job = Claim(lock, order);
        if (job->error) std::rethrow_exception(job->error);
        return std::move(job->mesh);
    }

private:
    using Order = std::pair<size_t, size_t>;
    enum class State { Pending, Running, Done };

    struct Job {
        std::variant<TextureRequest, MeshRequest> request;
        State state = State::Pending;
        bool countedReady = false;
        std::exception_ptr error;
        PreparedTexture texture;
        std::optional<XMesh> mesh;
    };

    void Enqueue(Order order, const std::variant<TextureRequest, MeshRequest>& request) {
        auto job = std::make_unique<Job>();
        job->request = request;
        if (const auto* texture = std::get_if<TextureRequest>(&request)) {
            textureJobs_.emplace(KeyOf(*texture), order);
        } else {
            meshJobs_.emplace(std::get<MeshRequest>(request).path, order);
        }
        jobs_.emplace(order, std::move(job));
    }

    // Takes a job out, running it here when no worker has started it yet.
    std::unique_ptr<Job> Claim(std::unique_lock<std::mutex>& lock, Order order) {
        Job& job = *jobs_.at(order);
        if (job.state == State::Pending) {
            Start(job);
            lock.unlock();
            Execute(job);
            lock.lock();
            Finish(job, order);
        } else {
            changed_.wait(lock, [&] { return job.state == State::Done; });
        }
        if (job.countedReady) --readyImages_;
        std::unique_ptr<Job> taken = std::move(jobs_.extract(order).mapped());
        lock.unlock();
        changed_.notify_all();
        return taken;
    }

    void Start(Job& job) {
        job.state = State::Running;
        if (std::holds_alternative<MeshRequest>(job.request)) ++runningMeshes_;
    }

    // Marks a job done; a parsed mesh queues the textures its materials name,
    // right behind it.
    void Finish(Job& job, Order order) {
        job.state = State::Done;
        if (const auto* mesh = std::get_if<MeshRequest>(&job.request)) {
            --runningMeshes_;
            if (job.mesh) {
                size_t next = order.second;
                for (const XMaterial& material : job.mesh->materials) {
                    if (material.textureFilename.empty()) continue;
                    TextureRequest texture = mesh->textures;
                    try {
                        texture.path = ResolveMaterialTexture(mesh->textureFolder, material.textureFilename);
                    } catch (const ContentError&) {
                        continue;  // the load itself reports the missing file
                    }
                    Enqueue({order.first, ++next}, texture);
                }
            }
        } else if (job.texture.image) {
            job.countedReady = true;
            ++readyImages_;
        }
        changed_.notify_all();
    }

    // Does a job's work, without the lock.
    void Execute(Job& job) {
        try {
            if (const auto* mesh = std::get_if<MeshRequest>(&job.request)) {
                const std::string file = ResolvePath(mesh->path);
                job.mesh = ParseXFile(ReadWholeFile(file), file);
                return;
            }
            const TextureRequest& request = std::get<TextureRequest>(job.request);
            PreparedTexture& prepared = job.texture;
            prepared.file = ResolvePath(request.path);
            prepared.bytes = ReadWholeFile(prepared.file);
            {
                // The same bytes with the same parameters make the same texture,
                // which the loads share: decode it once. A hash is enough here:
                // were two files to collide, the load finds no texture to share
                // and decodes the file itself.
                RequestKey made = KeyOf(request);
                std::get<0>(made) = std::to_string(std::hash<std::string>{}(prepared.bytes)) + ":" +
                                    std::to_string(prepared.bytes.size());
                std::lock_guard lock(mutex_);
                if (!made_.insert(std::move(made)).second) return;
            }
            try {
                prepared.image = BuildTexture(DecodeImage(prepared.bytes, prepared.file), OptionsOf(request), prepared.file);
            } catch (...) {
                prepared.decodeError = std::current_exception();
            }
        } catch (...) {
            job.error = std::current_exception();
        }
    }

    // The next job a worker may start: the earliest pending one, passing over
    // textures while enough decoded images wait.
    Job* NextJob(Order& order) {
        for (auto& [at, job] : jobs_) {
            if (job->state != State::Pending) continue;
            if (std::holds_alternative<TextureRequest>(job->request) && readyImages_ >= kMaxReadyImages) continue;
            order = at;
            return job.get();
        }
        return nullptr;
    }

    bool AnyPending() const {
        return std::any_of(jobs_.begin(), jobs_.end(), [](const auto& entry) { return entry.second->state == State::Pending; });
    }

    void Work() {
        std::unique_lock lock(mutex_);
        for (;;) {
            Order order;
            Job* job = nullptr;
            changed_.wait(lock, [&] {
                if (stopping_) return true;
                job = NextJob(order);
                // Nothing can come any more once no job waits and no mesh can add textures.
                return job != nullptr || (!AnyPending() && runningMeshes_ == 0);
            });
            if (job == nullptr) return;
            Start(*job);
            lock.unlock();
            Execute(*job);
            lock.lock();
            Finish(*job, order);
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<Order, std::unique_ptr<Job>> jobs_;  // every job not yet taken
    std::multimap<RequestKey, Order> textureJobs_;
    std::multimap<std::string, Order> meshJobs_;
    std::set<RequestKey> made_;  // the hashes of the files and the parameters decoded so far
    size_t readyImages_ = 0;
    int runningMeshes_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

D3DX8::D3DX8() = default;
D3DX8::~D3DX8() = default;

void D3DX8::Prefetch(const std::vector<std::variant<TextureRequest, MeshRequest>>& requests) {
    prefetcher_.reset();
    prefetcher_ = std::make_unique<Prefetcher>(requests);
}

HRESULT D3DX8::LoadMeshFromX(const std::string& path, DWORD, Direct3DDevice8& device,
                             std::shared_ptr<D3DXMesh>& mesh, std::vector<D3DXMATERIAL>& materials,
                             DWORD& materialCount) {
    std::optional<XMesh> prepared = prefetcher_ ? prefetcher_->TakeMesh(path) : std::nullopt;
    if (!prepared) {
        const std::string file = ResolvePath(path);
        prepared = ParseXFile(ReadWholeFile(file), file);
    }
    const XMesh& loaded = *prepared;
    std::shared_ptr<D3DXMesh> created;
    const HRESULT hr = device.CreateMesh(loaded.geometry, created);
    if (FAILED(hr)) return hr;
    mesh = std::move(created);
    materials.clear();
    materials.reserve(loaded.materials.size());
    for (const XMaterial& m : loaded.materials) materials.push_back(D3DXMATERIAL{m.material, m.textureFilename});
    materialCount = DWORD(materials.size());
    return D3D_OK;
}

HRESULT D3DX8::CreateTextureFromFileEx(Direct3DDevice8& device, const std::string& path, UINT width, UINT height,
                                       UINT mipLevels, DWORD, DWORD, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                       D3DCOLOR colorKey, std::shared_ptr<Direct3DTexture8>& texture) {
    const TextureRequest request{path, width, height, mipLevels, pool, filter, mipFilter, colorKey};
    std::optional<PreparedTexture> prepared = prefetcher_ ? prefetcher_->TakeTexture(request) : std::nullopt;
    const std::string file = prepared ? std::move(prepared->file) : ResolvePath(path);
    const std::string bytes = prepared ? std::move(prepared->bytes) : ReadWholeFile(file);
    TextureKey key{&device, std::hash<std::string>{}(bytes), bytes.size(), width, height, mipLevels, pool, filter,
                   mipFilter, colorKey};
    if (std::shared_ptr<Direct3DTexture8> shared = FindMadeTexture(key, bytes)) {
        texture = std::move(shared);
        return D3D_OK;
    }
    if (prepared && prepared->decodeError) std::rethrow_exception(prepared->decodeError);
    const TextureImage image = prepared && prepared->image
                                   ? std::move(*prepared->image)
                                   : BuildTexture(DecodeImage(bytes, file), OptionsOf(request), file);
    std::shared_ptr<Direct3DTexture8> created;
    const HRESULT hr = device.CreateTexture(image, pool, created);
    if (FAILED(hr)) return hr;
    textures_.emplace(std::move(key), MadeTexture{file, created});
    texture = std::move(created);
    return D3D_OK;
}

std::shared_ptr<Direct3DTexture8> D3DX8::FindMadeTexture(const TextureKey& key, const std::string& bytes) const {
    const auto [first, last] = textures_.equal_range(key);
    for (auto entry = first; entry != last; ++entry) {
        std::shared_ptr<Direct3DTexture8> texture = entry->second.texture.lock();
        if (!texture) continue;
        try {
            if (ReadWholeFile(entry->second.file) == bytes) return texture;
        } catch (const std::exception&) {
            // The earlier file is gone or changed: this one is decoded anew.
        }
    }
    return nullptr;
}
