#include "store/secret_keyring.h"

#include <libsecret/secret.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace orvix {
namespace {

constexpr char kApplication[] = "orvix";

const SecretSchema& recorderSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s;
        std::memset(&s, 0, sizeof s);
        s.name = "org.orvix.Recorder";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"application", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"key", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[2] = {"recorder-id", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[3] = {"address", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return schema;
}

// Cancels the call it guards once the limit has passed.
class CallDeadline {
public:
    explicit CallDeadline(std::chrono::milliseconds limit) : cancellable_(g_cancellable_new()) {
        watcher_ = std::thread([this, limit] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!finished_.wait_for(lock, limit, [this] { return done_.load(); })) {
                expired_ = true;
                g_cancellable_cancel(cancellable_);
            }
        });
    }
    ~CallDeadline() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        finished_.notify_one();
        watcher_.join();
        g_object_unref(cancellable_);
    }
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;

    GCancellable* cancellable() const { return cancellable_; }
    bool expired() {
        std::lock_guard<std::mutex> lock(mutex_);
        return expired_;
    }

private:
    GCancellable* cancellable_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::atomic<bool> done_{false};  // also read by the watcher under the lock
    bool expired_ = false;
    std::thread watcher_;
};

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

struct HashUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashUnref>;

struct ItemListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using ItemList = std::unique_ptr<GList, ItemListFree>;

Attributes makeAttributes(int64_t key) {
    Attributes attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(attributes.get(), g_strdup("application"), g_strdup(kApplication));
    g_hash_table_insert(attributes.get(), g_strdup("key"), g_strdup(std::to_string(key).c_str()));
    return attributes;
}

SecretKeyring::Result failure(GError* raw, CallDeadline& deadline, std::chrono::milliseconds limit) {
    ErrorPtr error(raw);
    if (deadline.expired()) {
        return {SecretKeyring::Outcome::Failed,
                "no answer within " + std::to_string(limit.count() / 1000) + " s"};
    }
    return {SecretKeyring::Outcome::Failed, error != nullptr && error->message != nullptr ? error->message
                                                                                          : "unknown error"};
}

std::string attribute(SecretItem* item, const char* name) {
    GHashTable* attributes = secret_item_get_attributes(item);
    if (attributes == nullptr) return {};
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, name));
    std::string text = value != nullptr ? value : "";
    g_hash_table_unref(attributes);
    return text;
}

}  // namespace

SecretKeyring::SecretKeyring(std::chrono::milliseconds callLimit) : callLimit_(callLimit) {}

SecretKeyring::~SecretKeyring() {
    if (service_ != nullptr) g_object_unref(service_);
}

SecretKeyring::Result SecretKeyring::connect() {
    if (service_ != nullptr) return {};
    CallDeadline deadline(callLimit_);
    GError* error = nullptr;
    // A service object of its own rather than the process-wide one: a store
    // made after the keyring daemon restarted reaches the new daemon.
    service_ = secret_service_open_sync(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_OPEN_SESSION,
                                        deadline.cancellable(), &error);
    if (service_ == nullptr) {
        Result result = failure(error, deadline, callLimit_);
        result.error = "no Secret Service answered on the session bus: " + result.error;
        return result;
    }
    if (error != nullptr) g_error_free(error);
    return {};
}

SecretKeyring::Result SecretKeyring::lookup(int64_t key, std::string& password) {
    password.clear();
    Result connected = connect();
    if (connected.outcome != Outcome::Done) return connected;
    CallDeadline deadline(callLimit_);
    GError* error = nullptr;
    const auto flags =
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    const Attributes attributes = makeAttributes(key);
    ItemList items(secret_service_search_sync(service_, &recorderSchema(), attributes.get(), flags,
                                              deadline.cancellable(), &error));
    if (error != nullptr) return failure(error, deadline, callLimit_);
    if (items == nullptr) return {Outcome::NotFound, {}};

    // Of several secrets of one key (a replaced one that could not be
    // removed), the newest holds the password.
    SecretItem* newest = nullptr;
    for (GList* entry = items.get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        if (secret_item_get_locked(item)) continue;
        if (newest == nullptr || secret_item_get_modified(item) > secret_item_get_modified(newest)) newest = item;
    }
    if (newest == nullptr) return {Outcome::Failed, "the keyring stays locked"};
    SecretValue* value = secret_item_get_secret(newest);
    if (value == nullptr) {
        if (!secret_item_load_secret_sync(newest, deadline.cancellable(), &error)) {
            return failure(error, deadline, callLimit_);
        }
        value = secret_item_get_secret(newest);
        if (value == nullptr) return {Outcome::Failed, "the keyring gave no secret"};
    }
    const gchar* text = secret_value_get_text(value);
    const bool isText = text != nullptr;
    if (isText) password = text;
    secret_value_unref(value);
    if (!isText) return {Outcome::Failed, "the secret is not text"};
    return {};
}

SecretKeyring::Result SecretKeyring::store(int64_t key, uint32_t recorderId, const std::string& address,
                                           const std::string& name, const std::string& password) {
    Result connected = connect();
    if (connected.outcome != Outcome::Done) return connected;
    const std::string id = std::to_string(recorderId);
    const Attributes attributes = makeAttributes(key);
    g_hash_table_insert(attributes.get(), g_strdup("recorder-id"), g_strdup(id.c_str()));
    g_hash_table_insert(attributes.get(), g_strdup("address"), g_strdup(address.c_str()));
    const std::string label = "ORVIX recorder " + name;
    {
        CallDeadline deadline(callLimit_);
        GError* error = nullptr;
        SecretValue* value = secret_value_new(password.c_str(), static_cast<gssize>(password.size()), "text/plain");
        const gboolean stored = secret_service_store_sync(service_, &recorderSchema(), attributes.get(),
                                                          SECRET_COLLECTION_DEFAULT, label.c_str(), value,
                                                          deadline.cancellable(), &error);
        secret_value_unref(value);
        if (!stored) return failure(error, deadline, callLimit_);
        if (error != nullptr) g_error_free(error);
    }

    // The store replaced a secret with the same attributes; one kept under
    // this key with another id or address goes now. Leaving one behind is
    // harmless: lookups take the newest.
    CallDeadline deadline(callLimit_);
    GError* error = nullptr;
    const Attributes byKey = makeAttributes(key);
    ItemList items(secret_service_search_sync(service_, &recorderSchema(), byKey.get(), SECRET_SEARCH_ALL,
                                              deadline.cancellable(), &error));
    if (error != nullptr) {
        g_error_free(error);
        return {};
    }
    for (GList* entry = items.get(); entry != nullptr; entry = entry->next) {
        auto* item = static_cast<SecretItem*>(entry->data);
        if (attribute(item, "recorder-id") == id && attribute(item, "address") == address) continue;
        if (!secret_item_delete_sync(item, deadline.cancellable(), &error) && error != nullptr) {
            g_error_free(error);
            error = nullptr;
        }
    }
    return {};
}

SecretKeyring::Result SecretKeyring::remove(int64_t key) {
    Result connected = connect();
    if (connected.outcome != Outcome::Done) return connected;
    CallDeadline deadline(callLimit_);
    GError* error = nullptr;
    const Attributes attributes = makeAttributes(key);
    const gboolean removed =
        secret_service_clear_sync(service_, &recorderSchema(), attributes.get(), deadline.cancellable(), &error);
    if (error != nullptr) return failure(error, deadline, callLimit_);
    return removed ? Result{} : Result{Outcome::NotFound, {}};
}

}  // namespace orvix
