// Recorder passwords in the desktop's Secret Service (the keyring), through
// libsecret. Each recorder row has one secret, labelled "ORVIX recorder
// NAME", with the attributes application ("orvix"), key (the row key),
// recorder-id and address (where the recorder is reached, for people
// browsing the keyring). A secret is found again by application and key
// alone, so renaming or readdressing a recorder keeps it found.
//
// Every call gives up after a time limit, because the service may hang or
// an unlock prompt may stay unanswered; it then reports a failure. One
// thread at a time per object.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

typedef struct _SecretService SecretService;

namespace orvix {

class SecretKeyring {
public:
    // Long enough for a person to answer the desktop's unlock prompt.
    static constexpr std::chrono::milliseconds kDefaultCallLimit{60000};

    enum class Outcome { Done, NotFound, Failed };
    struct Result {
        Outcome outcome = Outcome::Done;
        std::string error;  // for Failed: what went wrong, for people
    };

    explicit SecretKeyring(std::chrono::milliseconds callLimit = kDefaultCallLimit);
    ~SecretKeyring();
    SecretKeyring(const SecretKeyring&) = delete;
    SecretKeyring& operator=(const SecretKeyring&) = delete;

    // Reaches the service on the session bus and opens a session; neither
    // unlocks nor prompts.
    Result connect();

    // The password kept under `key` (UTF-8), unlocking the keyring first if
    // needed, which may show the desktop's prompt. Failed when the secret is
    // there but stays locked; NotFound when there is none.
    Result lookup(int64_t key, std::string& password);

    // Keeps `password` under `key` in the default collection, replacing the
    // secret the key had, also one stored with another id or address.
    Result store(int64_t key, uint32_t recorderId, const std::string& address, const std::string& name,
                 const std::string& password);

    // Removes the secrets of `key`; NotFound when there were none.
    Result remove(int64_t key);

private:
    std::chrono::milliseconds callLimit_;
    SecretService* service_ = nullptr;
};

}  // namespace orvix
