/*
 * dvlib: frame-level access to raw PAL DV files (runs of 144000-byte 625/50
 * frames with no container) for C and C++ host programs.
 *
 * One process-wide decoder serves every call; nothing here is re-entrant, so
 * no two calls may overlap: a call on a frame block made while another runs
 * is refused with a line saying that calls must not overlap. Each decode shares its frame among threads of
 * dvlib's own, one per core unless dvthreads says otherwise. Callers own every frame block, image, row array
 * and line; dvlib only writes into them. Failures are reported by result
 * (1 success, 0 failure; -1 for a frame header that does not parse; a null
 * dvfile from dvopen) together with one line on standard error that begins
 * with the function's name, as in "(dvreadframe:dvlib): ...".
 *
 * A request code is format | flags of dvreadblock and dvreadarray, and the
 * flags of dvreadformat: 2 (DVLIB_REQUEST_FULL) asks for full detail, 16
 * (DVLIB_REQUEST_DC) for DC coefficients only (every 8 x 8 block one flat
 * colour). (2, 0), (0, 2) and (2, 2) are the same request of dvreadblock.
 *
 * A frame block is one whole compressed frame: 144000 bytes when the DSF bit
 * of its DIF header (byte 3, bit 7) marks 625/50, 120000 when it marks
 * 525/60. A frame whose header says otherwise in its VAUX source pack is
 * refused as a header that does not parse, so nothing reads past its end.
 */
#ifndef OZMIRA_DVLIB_H
#define OZMIRA_DVLIB_H

#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Bytes of one 625/50 frame block: frame n of a file starts at n * DVLIB_FRAME_BYTES. */
#define DVLIB_FRAME_BYTES 144000

/* Request codes: full detail, or DC coefficients only. */
#define DVLIB_REQUEST_FULL 2
#define DVLIB_REQUEST_DC 16

/*
 * Output formats of dvreadformat, numbered as the frame decoder numbers them.
 * Packed formats (0 to 2) draw the whole picture, y_size lines of x_size
 * pixels, into one image at pixels[0], lines pitches[0] bytes apart (at least
 * x_size times the pixel size). Row formats (3 to 14) need a 4:2:0 frame
 * (625/50, 720 x 576) and write row n of their picture through pixels[n]
 * alone; pitches[0] is not read but must be there. Their images:
 *
 *   format                        pixel                 rows x bytes per row
 *   0  DVLIB_FORMAT_YUY2          Y0 Cb Y1 Cr per two   y_size x >= 1440
 *   1  DVLIB_FORMAT_RGB           R G B                 y_size x >= 2160
 *   2  DVLIB_FORMAT_BGR0          B G R 0               y_size x >= 2880
 *   3  DVLIB_FORMAT_RED_INT       int32 red, 0 to 255      576 x 2880
 *   4  DVLIB_FORMAT_LUMA          byte luminance           576 x 720
 *   5  DVLIB_FORMAT_RGB0          R G B 0                  576 x 2880
 *   6  DVLIB_FORMAT_THUMB_RED_INT int32 red                 72 x 368
 *   7  DVLIB_FORMAT_THUMB_RED     byte red                  72 x 92
 *   8  DVLIB_FORMAT_THUMB_RGB0    R G B 0                   72 x 368
 *   11 DVLIB_FORMAT_HALF_RGB0     R G B 0                  288 x 1440
 *   9, 10, 12, 13, 14             draw nothing and need no rows
 *
 * Full size is 720 x 576 (DVLIB_FULL_*), half size 360 x 288 (DVLIB_HALF_*).
 * A thumbnail gives each 16 x 16 macroblock a patch of 4 x 2 pixels at an
 * eighth of its position; patches of neighbouring macroblocks overlap by two
 * columns, so a thumbnail is 92 x 72 (DVLIB_THUMB_*), not 90. Pixel values
 * are studio-range conversions: red, green, blue and luminance 0 to 255; an
 * int32 pixel is in the machine's byte order.
 */
enum dvlib_format {
  DVLIB_FORMAT_YUY2 = 0,
  DVLIB_FORMAT_RGB = 1,
  DVLIB_FORMAT_BGR0 = 2,
  DVLIB_FORMAT_RED_INT = 3,
  DVLIB_FORMAT_LUMA = 4,
  DVLIB_FORMAT_RGB0 = 5,
  DVLIB_FORMAT_THUMB_RED_INT = 6,
  DVLIB_FORMAT_THUMB_RED = 7,
  DVLIB_FORMAT_THUMB_RGB0 = 8,
  DVLIB_FORMAT_HALF_INT = 9,   /* draws nothing */
  DVLIB_FORMAT_HALF_BYTE = 10, /* draws nothing */
  DVLIB_FORMAT_HALF_RGB0 = 11,
  DVLIB_FORMAT_QUARTER_INT = 12,  /* draws nothing */
  DVLIB_FORMAT_QUARTER_BYTE = 13, /* draws nothing */
  DVLIB_FORMAT_QUARTER_RGB0 = 14  /* draws nothing */
};

#define DVLIB_FULL_WIDTH 720
#define DVLIB_FULL_HEIGHT 576
#define DVLIB_HALF_WIDTH 360
#define DVLIB_HALF_HEIGHT 288
#define DVLIB_THUMB_WIDTH 92
#define DVLIB_THUMB_HEIGHT 72

/* Attributes of a frame, and of an open file when dvopen made the record. */
typedef struct dvfile {
  int block_size; /* bytes of one frame: always 144000 */
  int x_size;     /* frame width in pixels: 720 */
  int y_size;     /* frame height in lines: 576 for 625/50, 480 for 525/60 */
  int code;       /* chroma sampling: 2 for 4:2:0 (IEC 61834), 1 for 4:1:1 */
  int type;       /* colour flag: 1 colour, 0 greyscale, -1 not stated */
  int num_frames; /* whole frames in the file (dvopen only) */
  FILE *file;     /* the open stream, mode "rb", close-on-exec (dvopen only) */
} dvfile;

/*
 * Creates the process-wide decoder with quality 5 (full detail) and, the
 * first time only, builds libdv's tables and the colour tables. Call it once
 * before anything else; dvopen and the calls on a frame block call it
 * themselves, with a warning, when nobody has. A later call replaces the
 * decoder with a fresh one. Prints "(dvinit:dvlib) Couldn't create the DV
 * decoder" if libdv cannot make one.
 */
void dvinit(void);

/*
 * Parses the header of the frame block `block` (only read) and writes the
 * first five fields of the caller's record `status`.
 * Returns -1, with the record untouched and nothing printed, when the header
 * does not parse (its VAUX source pack and DSF bit disagreeing included) or
 * either pointer is null. Otherwise libdv's header
 * result: 1 when the video system changed to 625/50 since the frame parsed
 * before it (so the first PAL frame after dvinit gives 1), 2 when it changed
 * to 525/60, 0 when it is unchanged. A header that does not parse leaves the
 * video system as it was: PAL, NTSC, a refused frame, PAL give 1, 2, -1, 1.
 */
int dvstatus(const unsigned char *block, dvfile *status);

/*
 * Decodes the frame block `block` into the caller's packed RGB image: y_size
 * lines of x_size pixels, three bytes red, green, blue, lines x_size * 3 bytes
 * apart (1244160 bytes for 720 x 576, 1036800 for a 525/60 frame).
 * Request 2 decodes at full detail, 16 from DC coefficients only.
 * Returns 1 when it decoded. Returns 0 with the image untouched: when the
 * header does not parse (after "(dvreadblock:dvlib): dv_parse_header failed -
 * erm?"), for any other request code (silently; the decoder keeps the header
 * it parsed), and for a null block or image (after a line saying which).
 * Returns 0 after a line saying so if the frame decoder could not decode the
 * whole frame.
 */
int dvreadblock(const unsigned char *block, unsigned char *image, int format, int flags);

/*
 * Decodes the frame block `block` into the caller's row-addressed RGB0 image:
 * rows[n] points at line n, which holds x_size pixels of four bytes red,
 * green, blue, 0 (576 pointers to lines of 2880 bytes for PAL). Only
 * request 2 is accepted.
 * Returns 1 when it decoded. Returns 0 with the lines untouched: when the
 * header does not parse (after "(dvreadarray:dvlib): dv_parse_header failed -
 * erm?"), for any request code but 2 (silently), and for a null block or row
 * array. A 4:1:1 frame cannot be drawn in this layout: 0, every line
 * untouched, error_mess printed once per macroblock on standard output and
 * *pforerror set to 1 if the host registered a flag. dvreadformat with
 * DVLIB_FORMAT_RGB0 does the same and more.
 */
int dvreadarray(const unsigned char *block, unsigned char **rows, int format, int flags);

/*
 * Decodes the frame block `block` (only read) into the caller's image in
 * output format `format` (enum dvlib_format above, which gives each format's
 * pixel and the rows and row length it needs) at request `flags`:
 * DVLIB_REQUEST_FULL or DVLIB_REQUEST_DC.
 * Packed formats 0 to 2: pixels[0] is the image, pitches[0] the distance in
 * bytes from one line to the next; 480 lines are drawn for a 525/60 frame.
 * Row formats 3 to 14: pixels[n] is row n of the picture, and the rows the
 * format needs must all be given; pitches must point at an int, not read.
 * Returns 1 when it drew (formats 9, 10, 12, 13 and 14 draw nothing and
 * return 1). Returns 0, the picture untouched and one line on standard
 * error beginning "(dvreadformat:dvlib): ", when an argument, pixels[0] of a
 * packed format or a needed row pointer is null; the format or the request
 * code is unknown; the header does not parse ("dv_parse_header failed -
 * erm?"); a packed pitch is shorter than a line or so long that the picture
 * would pass 2 GiB; or the frame is 4:1:1 and the format is 3 to 14 (then the
 * frame decoder also prints error_mess once per macroblock on standard output
 * and sets *pforerror to 1 if the host registered a flag).
 */
int dvreadformat(const unsigned char *block, int format, unsigned char **pixels, int *pitches, int flags);

/*
 * Sets how many threads each decode (dvreadblock, dvreadarray, dvreadformat,
 * dvreadframe) may use, the calling thread included: at most `count` when it
 * is 1 or more (1 decodes on the calling thread alone, for hosts that run
 * threads of their own), as many as the machine has online cores when it is
 * 0, the default (counted once, when dvlib's threads are made).
 * The other threads are dvlib's, made once when first needed, with every
 * signal blocked, so the host's signal handling is unchanged; each decode
 * still returns only when its whole frame is done. After a decode they look
 * for the next one for a tenth of a millisecond before they sleep, so that
 * frame after frame finds them awake. Call it between decodes.
 * Returns the number of threads now in use: fewer than asked where the
 * machine has fewer cores or threads cannot be made (then 1, and decoding
 * goes on with the calling thread). A negative count is refused: returns -1,
 * changes nothing and prints "(dvthreads:dvlib): N threads refused - ask for
 * 1 or more, or 0 for one per core".
 */
int dvthreads(int count);

/*
 * Opens the raw PAL DV file at `path`, checks that frame 0 parses and is
 * 720 x 576, and counts its whole frames (a trailing partial frame is ignored,
 * with a warning). Prints its progress on standard error: "(dvopen:dvlib)
 * Image Size 720 576", "(dvopen:dvlib) PAL format video" and "(dvopen:dvlib)
 * N frames". Returns a new record, all seven fields set from frame 0, that the
 * caller gives back with dvclose; or null, with a message and the file
 * closed, when the file cannot be opened ("Couldn't open DV file (PATH): "
 * and the system's reason), is not a regular file or block device (a pipe or
 * a directory: it is refused without waiting on it), is shorter than a frame,
 * its first header does not parse, it is not 720 x 576, or its length cannot
 * be had. A file of more frames than an int can number (309 TB or more) is
 * opened with num_frames 2147483647 (INT_MAX), after a warning: every frame
 * that dvreadframe can address.
 */
dvfile *dvopen(const char *path);

/*
 * Closes the file of a record from dvopen and releases the record, even when
 * the close fails. Returns 0, or EOF when the close fails or `dv` is null.
 * The record must not be used afterwards.
 */
int dvclose(dvfile *dv);

/*
 * Reads frame `frame` (0 is the first) of an open file and decodes it at full
 * detail into the caller's packed RGB image of x_size * y_size * 3 bytes, as
 * dvreadblock with request 2 does. Frames are found at frame * 144000 with
 * 64-bit offsets; the number is not compared with num_frames, so frames the
 * file gained since dvopen read normally.
 * Returns 1 when decoded; 0 with the image untouched and a line on standard
 * error for a null image, a null or closed record, a frame outside the file
 * ("fread failed - invalid frame number?"), a header that does not parse, or
 * a frame of another size than the record's x_size and y_size (a 525/60
 * frame, or a tape dropout of zero bytes, which parses as one), named by its
 * number.
 */
int dvreadframe(dvfile *dv, unsigned char *image, int frame);

/* Prints the six attribute fields of a record on standard output, between
 * two empty lines. A null record gets a line on standard error instead. */
void DisplayDvAttributes(const dvfile *dv);

/* Moves `stream` to frame * 144000 bytes (a 64-bit offset) from `whence`
 * (SEEK_SET, SEEK_CUR or SEEK_END). Returns 0, or -1 on failure. */
int dv_fseek64(FILE *stream, int frame, int whence);

/* The 64-bit byte position of `stream`, or -1 on failure. */
int64_t dv_ftell64(FILE *stream);

/* This library's version. */
#define DVLIB_VERSION_MAJOR 0
#define DVLIB_VERSION_MINOR 2
#define DVLIB_VERSION_PATCH 0

/* The library's version as "MAJOR.MINOR.PATCH", a static string. */
const char *dvversion(void);

/*
 * Sends every line dvlib would write to standard error to `log` instead, with
 * `user` passed through; `line` ends with its line feed and lives for the
 * call only. (NULL, NULL) sends them to standard error again. No line of
 * libdv's own ever reaches standard error: what libdv would complain about is
 * checked before libdv sees it. Lines dvlib writes to standard output
 * (DisplayDvAttributes, error_mess) are not affected.
 */
void dvsetlog(void (*log)(const char *line, void *user), void *user);

/* Sound of one frame: at most 4 channels of 1944 samples. */
#define DVLIB_AUDIO_MAX_CHANNELS 4
#define DVLIB_AUDIO_MAX_SAMPLES (4 * 1944)

/*
 * What a frame block says of itself, beyond its picture. The caller sets
 * `size` to sizeof(dvframeinfo); dvreadinfo fills only the fields that lie
 * within it, so a host built against an older, shorter record still works.
 * Every field that the frame does not record is -1 (aspect, time and date)
 * or 0 (sound).
 */
typedef struct dvframeinfo {
  int size;           /* set by the caller: sizeof(dvframeinfo) */
  int x_size, y_size; /* 720 x 576 (625/50) or 720 x 480 (525/60) */
  int code;           /* chroma sampling: 2 for 4:2:0, 1 for 4:1:1 */
  int type;           /* colour flag as dvstatus gives it: 1, 0 or -1 */
  int dif_sequences;  /* 12 (625/50) or 10 (525/60), as the DSF bit marks */
  int dropout;        /* 1 when the frame holds no recorded DIF blocks (a tape dropout) */
  int aspect;         /* 0 for 4:3, 1 for 16:9, -1 not stated */
  int tc_hours, tc_minutes, tc_seconds, tc_frames;                    /* timecode */
  int rec_year, rec_month, rec_day, rec_hour, rec_minute, rec_second; /* recorded */
  int audio_rate;          /* samples a second per channel, as dvreadaudio gives them */
  int audio_channels;      /* channels dvreadaudio gives: 2 or 4 */
  int audio_bits;          /* quantisation as recorded: 16 or 12 */
  int audio_samples;       /* samples per channel dvreadaudio gives */
  int video_blocks;        /* video DIF blocks: 1620 for 625/50, 1350 for 525/60 */
  int flagged_blocks;      /* video blocks whose STA field is not 0 */
  int sta_blocks[16];      /* video blocks by STA value (sta_blocks[0]: unflagged) */
  int audio_error_samples; /* samples with an error code */
  int audio_channel_errors[DVLIB_AUDIO_MAX_CHANNELS]; /* the same per channel */
} dvframeinfo;

/*
 * Reads what the frame block `block` (only read; 144000 bytes when its DSF bit
 * marks 625/50, 120000 when it marks 525/60) says of itself into `info`.
 * Returns 1; or -1 when the header does not parse, a pointer is null or
 * info->size is below the first field's end: then only `size`, `dropout` and
 * the fields of what is not recorded are set. Prints nothing. Uses a header
 * parse of its own, so what dvstatus reports next is unchanged. A pack whose
 * digits are not valid binary-coded decimal is skipped and the next valid one
 * taken.
 */
int dvreadinfo(const unsigned char *block, dvframeinfo *info);

/*
 * The frame's sound, the same decode the viewer plays and ozmira-export
 * writes: interleaved 16-bit samples into `samples` (room for
 * DVLIB_AUDIO_MAX_SAMPLES), 12-bit recordings widened to 16. Sets *rate and
 * *channels when not null. Returns samples per channel; 0, writing nothing,
 * when the frame has no sound that decodes; -1 when the header does not
 * parse or `block` or `samples` is null. Samples whose recording carries an
 * error code are filled in by libdv's error correction from their
 * neighbours, as the viewer plays them. Prints nothing.
 */
int dvreadaudio(const unsigned char *block, short *samples, int *rate, int *channels);

/*
 * Video segments whose codes were damaged in the last decode (dvreadblock,
 * dvreadarray, dvreadformat, dvreadframe); -1 before the first.
 */
int dvdamagedsegments(void);

/*
 * Reads the raw bytes of frame `frame` (0 is the first) of an open file into
 * the caller's block of 144000 bytes, found at frame * 144000 with a 64-bit
 * offset. Returns 1; 0 with a line for a null argument or a frame that is not
 * whole in the file ("fread failed - invalid frame number?").
 */
int dvreadraw(dvfile *dv, unsigned char *block, int frame);

/*
 * Whole 144000-byte frames in the open `stream` (size / 144000, a trailing
 * partial frame not counted), at most 2147483647; -1 when its size cannot be
 * had. The stream's position is left at its start. dvopen counts by it.
 */
int dvcountframes(FILE *stream);

/*
 * Host error flag of the frame decoder: point pforerror at an int of your own
 * to have 1 stored there whenever a frame cannot be drawn in a row-addressed
 * format (4:1:1 sampling). Nothing ever resets it. error_mess is the line
 * printed on standard output each time.
 */
extern int *pforerror;
extern const char error_mess[49];

#ifdef __cplusplus
}
#endif

#endif /* OZMIRA_DVLIB_H */
