// The part of OpenSSL's digest interface the engine uses (MD5 only), over the system's
// CNG (BCryptHash), for Windows builds where OpenSSL is not available. Link bcrypt.
#pragma once

#include <cstddef>
#include <windows.h>

#include <bcrypt.h>

#define EVP_MAX_MD_SIZE 64

struct EVP_MD {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
};

struct EVP_MD_CTX {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

inline EVP_MD* EVP_MD_fetch(void* /*context*/, const char* name, const char* /*properties*/) {
    if (name == nullptr || (name[0] != 'M' && name[0] != 'm') ||
        (name[1] != 'D' && name[1] != 'd') || name[2] != '5' || name[3] != 0)
        return nullptr;
    auto* md = new EVP_MD;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&md->algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        delete md;
        return nullptr;
    }
    return md;
}

inline EVP_MD_CTX* EVP_MD_CTX_new() {
    return new EVP_MD_CTX;
}

inline void EVP_MD_CTX_free(EVP_MD_CTX* ctx) {
    if (ctx == nullptr)
        return;
    if (ctx->hash != nullptr)
        BCryptDestroyHash(ctx->hash);
    delete ctx;
}

inline int EVP_DigestInit_ex2(EVP_MD_CTX* ctx, const EVP_MD* md, const void* /*params*/) {
    if (ctx == nullptr || md == nullptr)
        return 0;
    if (ctx->hash != nullptr) {
        BCryptDestroyHash(ctx->hash);
        ctx->hash = nullptr;
    }
    return BCRYPT_SUCCESS(BCryptCreateHash(md->algorithm, &ctx->hash, nullptr, 0, nullptr, 0, 0))
               ? 1
               : 0;
}

inline int EVP_DigestUpdate(EVP_MD_CTX* ctx, const void* data, size_t size) {
    if (ctx == nullptr || ctx->hash == nullptr)
        return 0;
    auto* p = static_cast<unsigned char*>(const_cast<void*>(data));
    while (size > 0) {
        const ULONG chunk = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        if (!BCRYPT_SUCCESS(BCryptHashData(ctx->hash, p, chunk, 0)))
            return 0;
        p += chunk;
        size -= chunk;
    }
    return 1;
}

inline int EVP_DigestFinal_ex(EVP_MD_CTX* ctx, unsigned char* digest, unsigned* length) {
    if (ctx == nullptr || ctx->hash == nullptr)
        return 0;
    const bool ok = BCRYPT_SUCCESS(BCryptFinishHash(ctx->hash, digest, 16, 0));
    BCryptDestroyHash(ctx->hash);
    ctx->hash = nullptr;
    if (length != nullptr)
        *length = ok ? 16 : 0;
    return ok ? 1 : 0;
}
