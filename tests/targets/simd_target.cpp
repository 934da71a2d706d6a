// Code as an optimizing compiler writes it for today's processors: SSE through SSE4.2, AVX,
// AVX2, FMA, F16C, BMI1/2, AES-NI, PCLMULQDQ, SHA, popcnt, lzcnt, tzcnt, movbe, crc32 and the
// P6 additions. It is built twice, with and without AVX2 (the same source then yields the
// legacy SSE encodings and the VEX ones). It is never run; the disassembler's differential
// test decodes its code section beside objdump's.
#include <immintrin.h>
#include <stdint.h>
#include <string.h>

#define KEEP extern "C" __attribute__((noinline, used))

KEEP void AddFloats(float* out, const float* a, const float* b, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] * b[i] + out[i];
}

KEEP double Dot(const double* a, const double* b, int n) {
  double sum = 0;
  for (int i = 0; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

KEEP void AddInts(int* out, const int* a, const int* b, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] + b[i] * 3 - (a[i] >> 2);
}

KEEP void Bytes(uint8_t* out, const uint8_t* a, int n) {
  for (int i = 0; i < n; ++i) out[i] = a[i] > 0x40 ? a[i] - 0x20 : a[i];
}

KEEP int MaxOf(const int* a, int n) {
  int m = a[0];
  for (int i = 1; i < n; ++i) m = a[i] > m ? a[i] : m;
  return m;
}

KEEP float Convert(const int* a, const double* d, int n) {
  float f = 0;
  for (int i = 0; i < n; ++i) f += static_cast<float>(a[i]) + static_cast<float>(d[i]) + static_cast<int>(d[i]);
  return f;
}

#ifdef __AVX2__
KEEP __m256 Avx(__m256 a, __m256 b, __m256 c) {
  __m256 r = _mm256_fmadd_ps(a, b, c);
  r = _mm256_fmsub_ps(r, b, a);
  r = _mm256_fnmadd_ps(r, c, b);
  r = _mm256_permute2f128_ps(r, a, 0x21);
  r = _mm256_blend_ps(r, b, 0x5a);
  r = _mm256_shuffle_ps(r, c, 0x1b);
  r = _mm256_blendv_ps(r, a, c);
  r = _mm256_max_ps(_mm256_min_ps(r, a), b);
  r = _mm256_sqrt_ps(_mm256_rcp_ps(r));
  r = _mm256_cmp_ps(r, a, _CMP_LT_OQ);
  return _mm256_unpacklo_ps(_mm256_permutevar8x32_ps(r, _mm256_set_epi32(1, 3, 5, 7, 0, 2, 4, 6)), r);
}

KEEP __m256i Avx2(__m256i a, __m256i b, const int* table) {
  __m256i r = _mm256_add_epi32(a, b);
  r = _mm256_mullo_epi32(r, b);
  r = _mm256_shuffle_epi8(r, a);
  r = _mm256_sllv_epi32(r, b);
  r = _mm256_srai_epi32(r, 3);
  r = _mm256_permute4x64_epi64(r, 0x4e);
  r = _mm256_i32gather_epi32(table, _mm256_and_si256(r, _mm256_set1_epi32(7)), 4);
  r = _mm256_max_epu8(r, _mm256_broadcastb_epi8(_mm256_castsi256_si128(a)));
  r = _mm256_inserti128_si256(r, _mm256_extracti128_si256(b, 1), 0);
  r = _mm256_packus_epi32(r, _mm256_cvtepu8_epi32(_mm256_castsi256_si128(b)));
  r = _mm256_sad_epu8(r, a);
  r = _mm256_alignr_epi8(r, a, 5);
  return _mm256_xor_si256(_mm256_maskload_epi32(table, r), _mm256_abs_epi16(r));
}

KEEP int Movemask(__m256i a, __m128 b) {
  return _mm256_movemask_epi8(a) + _mm_movemask_ps(b) + _mm256_testz_si256(a, a) + _mm_extract_epi16(_mm256_castsi256_si128(a), 3) +
         _mm_extract_epi32(_mm256_castsi256_si128(a), 2);
}

#endif

KEEP __m128i Sse(__m128i a, __m128i b, __m128 f, __m128d d) {
  __m128i r = _mm_add_epi16(a, b);
  r = _mm_madd_epi16(r, b);
  r = _mm_unpackhi_epi64(r, _mm_shuffle_epi32(a, 0x4e));
  r = _mm_sub_epi64(r, _mm_slli_si128(b, 4));
  r = _mm_cmpeq_epi8(r, _mm_srli_epi64(a, 7));
  r = _mm_insert_epi16(r, 77, 5);
  r = _mm_blendv_epi8(r, a, b);
  r = _mm_min_epi32(_mm_cvtps_epi32(f), r);
  r = _mm_add_epi32(r, _mm_cvttpd_epi32(d));
  r = _mm_hadd_epi32(r, _mm_sign_epi16(a, b));
  r = _mm_mulhrs_epi16(r, _mm_cmpgt_epi64(a, b));
  r = _mm_packs_epi32(r, _mm_cmpestrm(a, 8, b, 8, 0x44));
  r = _mm_add_epi8(r, _mm_set1_epi32(_mm_cmpistri(a, b, 0x0c)));
  return _mm_insert_epi32(r, _mm_popcnt_u32(static_cast<unsigned>(_mm_cvtsi128_si32(r))), 1);
}

KEEP __m128 Floats(__m128 a, __m128 b, __m128d c) {
  __m128 r = _mm_dp_ps(a, b, 0xf1);
  r = _mm_round_ps(r, 1);
  r = _mm_addsub_ps(r, _mm_movehdup_ps(a));
  r = _mm_insert_ps(r, b, 0x10);
  r = _mm_add_ss(r, _mm_cvtsd_ss(r, c));
  r = _mm_andnot_ps(r, _mm_cmpunord_ps(a, b));
#ifdef __AVX2__
  r = _mm_cvtph_ps(_mm_cvtps_ph(r, 0));
  r = _mm_fnmsub_ps(r, a, _mm_rsqrt_ps(b));
#endif
  return _mm_rsqrt_ps(r);
}

KEEP __m128i Crypto(__m128i a, __m128i b, __m128i key) {
  a = _mm_aesenc_si128(a, key);
  a = _mm_aesenclast_si128(a, b);
  a = _mm_aesdec_si128(a, key);
  a = _mm_aesdeclast_si128(a, _mm_aesimc_si128(b));
  a = _mm_xor_si128(a, _mm_aeskeygenassist_si128(key, 1));
  a = _mm_clmulepi64_si128(a, b, 0x11);
  a = _mm_sha256rnds2_epu32(a, b, key);
  a = _mm_sha256msg1_epu32(a, b);
  a = _mm_sha256msg2_epu32(a, key);
  a = _mm_sha1rnds4_epu32(a, b, 2);
  a = _mm_sha1nexte_epu32(a, b);
  return _mm_sha1msg2_epu32(_mm_sha1msg1_epu32(a, key), b);
}

KEEP unsigned Bits(unsigned a, unsigned b, const unsigned* p) {
  unsigned r = 0;
#ifdef __AVX2__
  r = _bextr_u32(a, 3, 7) + _blsi_u32(b) + _blsr_u32(a) + _blsmsk_u32(b) + _andn_u32(a, b);
  r += _bzhi_u32(a, b & 31) + _pdep_u32(a, b) + _pext_u32(b, a) + _mulx_u32(a, b, &r);
#endif
  r += ((a >> 7) | (a << 25)) + (a >> (b & 31)) + (b << (a & 31)) + (static_cast<int>(a) >> (b & 31));
  r += __builtin_ctz(a | 1) + __builtin_clz(b | 1) + __builtin_popcount(a) + __builtin_bswap32(*p);
  r = _mm_crc32_u32(r, a);
  r = _mm_crc32_u8(r, static_cast<uint8_t>(b));
  r = _mm_crc32_u16(r, static_cast<uint16_t>(a));
  return r + _lzcnt_u32(a) + _tzcnt_u32(b);
}

KEEP uint32_t LoadBigEndian(const uint32_t* p) { return __builtin_bswap32(*p); }

KEEP long long Atomics(volatile long long* p, volatile long* q, long v) {
  long long old = __sync_val_compare_and_swap(p, 1, 2);
  long x = __sync_fetch_and_add(q, v);
  long y = __sync_val_compare_and_swap(q, x, v);
  __sync_synchronize();
  _mm_pause();
  _mm_lfence();
  _mm_sfence();
  return old + x + y;
}

KEEP int Conditional(int a, int b, int c) { return a < b ? c : a + (b > c ? b : c); }

KEEP double X87(long double a, double b) {
  long double r = a > b ? a : b;
  return static_cast<double>(r) + static_cast<long long>(b);
}

KEEP void Copy(void* out, const void* in, unsigned n) {
  memcpy(out, in, n);
#ifdef __AVX2__
  _mm256_zeroupper();
#endif
}

KEEP __m128i Mmx(__m64 a, __m64 b) {
  __m64 r = _mm_add_pi16(a, b);
  r = _mm_mullo_pi16(r, a);
  r = _mm_unpacklo_pi8(r, b);
  r = _mm_srli_pi32(r, 3);
  __m128i x = _mm_movpi64_epi64(r);
  _mm_empty();
  return x;
}

KEEP unsigned Clock(unsigned* aux) {
  unsigned long long t = __rdtscp(aux);
  return static_cast<unsigned>(t) ^ _mm_cvtss_si32(_mm_set_ss(static_cast<float>(t)));
}

KEEP void Streams(__m128i* out, __m128i a, float* f, __m128 v) {
  _mm_stream_si128(out, a);
  _mm_storeu_ps(f, v);
  _mm_prefetch(reinterpret_cast<const char*>(f) + 256, _MM_HINT_T0);
  _mm_clflush(out);
  _mm_setcsr(_mm_getcsr() | 0x8040);
}

int main(int argc, char**) {
  return argc;
}
