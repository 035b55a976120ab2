#include "stretch/StretchKernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

__m128i Load(const int16_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
__m128i LoadAligned(const int16_t *p) { return _mm_load_si128(reinterpret_cast<const __m128i *>(p)); }
void Store(int16_t *p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }

int32_t HorizontalSum(__m128i v) {
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(v);
}

__m128i Widen(__m128i values16) { return _mm_srai_epi32(_mm_unpacklo_epi16(values16, values16), 16); }

double Weight(uint32_t frame, uint32_t length) { return double(frame * (length - frame)); }

// Products in double are exact, and a correctly rounded quotient of operands below 2^32 and 2^17
// never crosses an integer, so truncating it gives the signed 32-bit division's result.
__m128i Quotients(__m128i values32, double weight0, double weight1, __m128d divider) {
    const __m128d products = _mm_mul_pd(_mm_cvtepi32_pd(values32), _mm_set_pd(weight1, weight0));
    return _mm_cvttpd_epi32(_mm_div_pd(products, divider));
}

template <uint32_t channels>
void Precompute(const int16_t *mid, int16_t *ref, uint32_t length, uint32_t divider) {
    const __m128d d = _mm_set1_pd(divider);
    for (uint32_t k = 0; k < channels * length; k += 8) {
        const __m128i values = Load(mid + k);
        const __m128i low = Widen(values);
        const __m128i high = Widen(_mm_unpackhi_epi64(values, values));
        const __m128i pairs[4] = {low, _mm_unpackhi_epi64(low, low), high, _mm_unpackhi_epi64(high, high)};
        __m128i quotients[4];
        for (uint32_t p = 0; p < 4; ++p) {
            const uint32_t value = k + 2 * p;
            quotients[p] =
                Quotients(pairs[p], Weight(value / channels, length), Weight((value + 1) / channels, length), d);
        }
        Store(ref + k, _mm_packs_epi32(_mm_unpacklo_epi64(quotients[0], quotients[1]),
                                       _mm_unpacklo_epi64(quotients[2], quotients[3])));
    }
}

int32_t CorrelateStereo(const int16_t *input, const int16_t *ref, uint32_t length, uint32_t shift) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    __m128i sum0 = _mm_setzero_si128();
    __m128i sum1 = _mm_setzero_si128();
    for (uint32_t k = 0; k < 2 * length; k += 16) {
        sum0 = _mm_add_epi32(sum0, _mm_sra_epi32(_mm_madd_epi16(Load(input + k), LoadAligned(ref + k)), count));
        sum1 = _mm_add_epi32(sum1, _mm_sra_epi32(_mm_madd_epi16(Load(input + k + 8), LoadAligned(ref + k + 8)), count));
    }
    // Frame 0 is not part of the correlation; wrapping sums let it be taken out afterwards.
    const uint32_t frame0 = static_cast<uint32_t>(input[0] * ref[0]) + static_cast<uint32_t>(input[1] * ref[1]);
    return static_cast<int32_t>(static_cast<uint32_t>(HorizontalSum(_mm_add_epi32(sum0, sum1))) -
                                static_cast<uint32_t>(static_cast<int32_t>(frame0) >> shift));
}

__m128i MonoProducts(__m128i input, __m128i ref, __m128i count) {
    const __m128i low = _mm_mullo_epi16(input, ref);
    const __m128i high = _mm_mulhi_epi16(input, ref);
    return _mm_add_epi32(_mm_sra_epi32(_mm_unpacklo_epi16(low, high), count),
                         _mm_sra_epi32(_mm_unpackhi_epi16(low, high), count));
}

int32_t CorrelateMono(const int16_t *input, const int16_t *ref, uint32_t length, uint32_t shift) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    __m128i sum0 = _mm_setzero_si128();
    __m128i sum1 = _mm_setzero_si128();
    for (uint32_t k = 0; k < length; k += 16) {
        sum0 = _mm_add_epi32(sum0, MonoProducts(Load(input + k), LoadAligned(ref + k), count));
        sum1 = _mm_add_epi32(sum1, MonoProducts(Load(input + k + 8), LoadAligned(ref + k + 8), count));
    }
    return static_cast<int32_t>(static_cast<uint32_t>(HorizontalSum(_mm_add_epi32(sum0, sum1))) -
                                static_cast<uint32_t>((input[0] * ref[0]) >> shift));
}

// Interleaves the tail and the new input so that one multiply-add per value gives
// mid × (length − i) + input × i; the pairs of weights advance by step frames per vector.
void OverlapWeighted(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t values, __m128i weightsLow,
                     __m128i weightsHigh, __m128i step, uint32_t shift) {
    const __m128i count = _mm_cvtsi32_si128(static_cast<int>(shift));
    for (uint32_t k = 0; k < values; k += 8) {
        const __m128i m = Load(mid + k);
        const __m128i n = Load(input + k);
        const __m128i low = _mm_sra_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(m, n), weightsLow), count);
        const __m128i high = _mm_sra_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(m, n), weightsHigh), count);
        Store(out + k, _mm_packs_epi32(low, high));
        weightsLow = _mm_add_epi16(weightsLow, step);
        weightsHigh = _mm_add_epi16(weightsHigh, step);
    }
}

void OverlapStereo(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t shift) {
    const int16_t l = static_cast<int16_t>(1 << shift);
    OverlapWeighted(out, mid, input, 2u << shift, _mm_setr_epi16(l, 0, l, 0, l - 1, 1, l - 1, 1),
                    _mm_setr_epi16(l - 2, 2, l - 2, 2, l - 3, 3, l - 3, 3), _mm_setr_epi16(-4, 4, -4, 4, -4, 4, -4, 4),
                    shift);
}

void OverlapMono(int16_t *out, const int16_t *mid, const int16_t *input, uint32_t shift) {
    const int16_t l = static_cast<int16_t>(1 << shift);
    OverlapWeighted(out, mid, input, 1u << shift, _mm_setr_epi16(l, 0, l - 1, 1, l - 2, 2, l - 3, 3),
                    _mm_setr_epi16(l - 4, 4, l - 5, 5, l - 6, 6, l - 7, 7), _mm_setr_epi16(-8, 8, -8, 8, -8, 8, -8, 8),
                    shift);
}

}  // namespace

const StretchKernels kSse2StretchKernels = {Precompute<1>,   Precompute<2>, CorrelateMono,
                                            CorrelateStereo, OverlapMono,   OverlapStereo};
#endif
