/* Writes a one-second tone as a WAV file, converts it into a standard-play
 * DSS recording, reads back its format and dictation header, and shows how
 * a failure reads. Usage: dictation_example FOLDER */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <OrvaneVktapi.h>
#include <OrvaneVktapiUtil.h>

static int write_tone(const char *path) {
    const uint32_t rate = 12000, n = 12000, data = n * 2;
    unsigned char h[44];
    FILE *f = fopen(path, "wb");
    uint32_t i;
    if (!f) return 0;
    memcpy(h, "RIFF", 4);
    for (i = 0; i < 4; ++i) h[4 + i] = (unsigned char)((36 + data) >> (8 * i));
    memcpy(h + 8, "WAVEfmt \x10\0\0\0\x01\0\x01\0", 16);
    for (i = 0; i < 4; ++i) h[24 + i] = (unsigned char)(rate >> (8 * i));
    for (i = 0; i < 4; ++i) h[28 + i] = (unsigned char)((rate * 2) >> (8 * i));
    memcpy(h + 32, "\x02\0\x10\0data", 8);
    for (i = 0; i < 4; ++i) h[40 + i] = (unsigned char)(data >> (8 * i));
    fwrite(h, 1, sizeof h, f);
    for (i = 0; i < n; ++i) {
        const int16_t s = (int16_t)(8000 * sin(2 * 3.14159265358979 * 440 * i / rate));
        const unsigned char b[2] = {(unsigned char)(s & 0xFF), (unsigned char)((s >> 8) & 0xFF)};
        fwrite(b, 1, 2, f);
    }
    return fclose(f) == 0;
}

int main(int argc, char **argv) {
    char wav[1024], dss[1024], missing[1024];
    WAVEFORMATEX sp = orvkt_format_dss_sp(), got;
    ZRM2HeaderInfo header;
    VKTRESULT r;
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    snprintf(wav, sizeof wav, "%s/tone.wav", argv[1]);
    snprintf(dss, sizeof dss, "%s/tone.dss", argv[1]);
    snprintf(missing, sizeof missing, "%s/missing.dss", argv[1]);
    if (!write_tone(wav)) return 1;

    r = ORVKTWAVToDSS(wav, dss, &sp, 3, NULL, 0);
    printf("convert: %s\n", orvkt_result_message(r));
    if (r != VKT_OK) return 1;

    memset(&got, 0, sizeof got);
    r = ORVKTReadWAVFormat(dss, &got, sizeof got);
    printf("format: tag 0x%04x, %u Hz, block %u\n", (unsigned)got.wFormatTag, (unsigned)got.nSamplesPerSec,
           (unsigned)got.nBlockAlign);

    memset(&header, 0, sizeof header);
    header.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    r = ORVKTReadZRM2Header(dss, &header);
    printf("header: %s, compression id %u, %u ms\n", orvkt_result_message(r), (unsigned)header.wCompressionId,
           (unsigned)header.dwLengthMs);

    r = ORVKTReadZRM2Header(missing, &header);
    printf("missing file: %s (%s, %u)\n", orvkt_result_message(r), orvkt_result_name(r), (unsigned)r);
    return 0;
}
