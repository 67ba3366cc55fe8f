#include "i18n/Messages.h"

#include <cstdio>
#include <cstdlib>

#include "i18n/LanguageFile.h"

namespace torvane {

namespace {

using M = MessageId;

constexpr MessageEntry cli(MessageId id, std::string_view key, std::string_view english) {
    return {id, key, english, MessageId::None, false, true};
}

const char* const kUsage =
    "usage: torvane-cli [-q] COMMAND [ARGUMENTS]\n"
    "\n"
    "Opens audio files the way Torvane Audio Editor does, without a window: WAV (8 to 32-bit,\n"
    "float, RF64), MP3, WMA, AIFF, FLAC, Ogg Vorbis, Opus and M4A/AAC.\n"
    "\n"
    "Commands:\n"
    "  info FILE... [--json]  Open each FILE and print the working file's values, one key=value\n"
    "                         line each: sample_rate (Hz), channels, bits_per_sample,\n"
    "                         block_size (bytes per frame), data_offset, data_size, data_end\n"
    "                         (bytes), frame_count, duration (seconds, three decimals: the\n"
    "                         frames over the rate, cut to the millisecond), column_count\n"
    "                         (columns of the waveform at zoom 10:1), source_bitrate (average\n"
    "                         kbit/s of a lossy source, 0 for WAV and lossless ones), then the\n"
    "                         source's own format: source_codec, source_bits (0 when lossy),\n"
    "                         source_rate, source_channels, and its tags: tag_title,\n"
    "                         tag_artist, tag_album, tag_year, tag_track, tag_genre,\n"
    "                         tag_comment (those it has) and tag_cover=MIME,BYTES.\n"
    "                         With several files each block starts with path=FILE and a blank\n"
    "                         line comes between blocks. --json prints one JSON array instead,\n"
    "                         an object per file with \"path\" and the same keys (numbers as\n"
    "                         numbers, the others as strings). A file that cannot be opened gets\n"
    "                         its message on stderr and no block; the exit code is then 1.\n"
    "  peaks FILE [--zoom N]  Open FILE and print its peak table, one line per column:\n"
    "                         \"column left right\", peaks 0..100 (right equals left for mono).\n"
    "                         N is the zoom level 10, 8, 6, 4, 2 or 1, meaning N*1000 sample\n"
    "                         frames per column; the default is 10.\n"
    "  decode FILE OUT.wav    Open FILE and write the working file the editor makes of it\n"
    "                         (16-bit PCM: a copy of an 8- or 16-bit WAV, every other source\n"
    "                         decoded) to OUT.wav.\n"
    "  edit IN OUT [--zoom N] [--select S:F] [--format F] [--no-tags] OP...\n"
    "                         Open IN as the editor does, set the zoom (default 10) and the\n"
    "                         selection (default the whole document), apply each OP in order\n"
    "                         with the editor's marker rules after each, and write the result\n"
    "                         to OUT as convert does. S and F are column indices at that zoom, or\n"
    "                         times with an s suffix (12.5s), each meaning the column that holds\n"
    "                         that time; S must be below F and F at most the last column.\n"
    "                         OP is one of:\n"
    "                           --delete     remove the selection\n"
    "                           --cut-out    keep only the selection\n"
    "                           --volume P   scale the selection by P percent: 250, 200, 150,\n"
    "                                        100, 75, 50 or 25\n"
    "                           --mute       silence the selection\n"
    "                           --fade-in    fade the selection in\n"
    "                           --fade-out   fade the selection out\n"
    "                           --undo       undo the last edit not yet undone: the file,\n"
    "                                        the zoom and the selection as before it\n"
    "                           --redo       do the last undone edit again; an edit after\n"
    "                                        --undo drops what could be redone\n"
    "                         --undo with nothing to undo, or --redo with nothing to redo,\n"
    "                         is refused (exit 1) and nothing is written.\n"
    "                         After Delete the selection is one column from its start; after\n"
    "                         Cut Out it is the whole document; the others keep it. IN is never\n"
    "                         modified; OUT must be another file.\n"
    "  convert IN OUT [--bitrate K] [--format F] [--no-tags]\n"
    "                         Open IN and write it to OUT exactly as the editor's Save As does,\n"
    "                         in the format of OUT's extension: .wav (a copy of the working\n"
    "                         file), .mp3 (MP3 at the source's bit rate; 128 kbit/s for a WAV\n"
    "                         source; at most 64 at 11025 Hz and below), .wma (WMA, 44100 Hz\n"
    "                         stereo, at the source's bit rate; 96 for a WAV source), .flac\n"
    "                         (FLAC, lossless), .ogg or .oga (Ogg Vorbis at about the source's\n"
    "                         bit rate; 128 when it has none). Any other extension is refused\n"
    "                         (exit 2) unless --format is given. Every format carries the\n"
    "                         source's tags (title, artist, album, year, track, genre, comment;\n"
    "                         the cover in MP3, FLAC and Ogg); --no-tags leaves them out.\n"
    "                         --bitrate K (or --bitrate=K, kbit/s) stands in for the source's bit\n"
    "                         rate: for MP3 one of 32 40 48 56 64 80 96 112 128 160 192 224 256\n"
    "                         320, for WMA one of 32 48 64 80 96 128 160 192 256 320, for Ogg any\n"
    "                         from 45 to 500 (the nearest the encoder can reach at low sample\n"
    "                         rates or in mono); it is refused for WAV and FLAC output.\n"
    "                         --format wav|mp3|wma|flac|ogg stands in for OUT's extension.\n"
    "\n"
    "OUT is written the way the editor saves: into a new temporary file ~NAME.XXXXXX.tmp beside\n"
    "it, which replaces OUT only when complete, so OUT is always the old file or the whole new\n"
    "one. OUT keeps its permissions (and owner and group where allowed); a symbolic link stays\n"
    "a link and its target gets the new file; a file with several hard links is rewritten in\n"
    "place, so every name sees the new audio. A FIFO or a character device receives the\n"
    "finished bytes and stays what it was. OUT \"-\" is standard output (WAV unless --format\n"
    "says otherwise). A folder, a socket or a block device is refused and left alone.\n"
    "\n"
    "IN or FILE \"-\" is standard input: it is kept in the working folder first and its format\n"
    "is found from its first bytes. Every option takes its value as --option=VALUE or --option\n"
    "VALUE, and \"--\" ends the options: what follows is a file even if it starts with -.\n"
    "A wrong command line gets one line on stderr and exit code 2; a file that fails, exit code 1.\n"
    "  -h, --help             Show this text.\n"
    "  -V, --version          Print the version.\n"
    "  -q, --quiet            No progress bar (there is none when stderr is not a terminal).\n"
    "\n"
    "FILE is taken by its extension: .wav, .mp3 or .wma, in any case. A file the editor would\n"
    "refuse prints \"torvane-cli: FILE: \" and the editor's message (with the system's reason\n"
    "where there is one) on stderr and exits with 1; a usage error exits with 2.\n"
    "While stderr is a terminal, a progress bar is drawn there.\n";

const MessageEntry kEntries[] = {
    {M::AppTitle, "AppTitle", "Torvane Audio Editor"},
    {M::CaptionError, "CaptionError", "Error"},
    {M::CaptionInformation, "CaptionInformation", "Information"},
    {M::CaptionLame, "CaptionLame", "Lame Encoder"},
    {M::CaptionWma, "CaptionWma", "WMA Audio SDK"},
    {M::SaveFormSave, "SaveFormSave", "Save"},
    {M::SaveFormSaveAs, "SaveFormSaveAs", "Save As"},
    // The About box's notice line: the notice word and the years.
    {M::AboutNotice, "AboutNotice", "%1 (C) The Torvane developers, %2"},
    {M::CannotOpenLink, "CannotOpenLink",
     "No program to show this was found (is a web browser installed?). Open it yourself:\n%1",
     M::CaptionInformation},
    {M::EngineWrongVersion, "EngineWrongVersion", "An incorrect version of BASS.DLL was loaded"},
    // A system box with no owner and no caption of its own.
    {M::EngineCannotStart, "EngineCannotStart", "Can not start default recording device!", M::None, true},
    {M::CannotOpenFile, "CannotOpenFile", "Can not open the file."},
    {M::UnreadableAudio, "UnreadableAudio",
     "Cannot read the audio in this file: it is damaged, or of a kind the editor does not know."},
    {M::NoDecodeStream, "NoDecodeStream", "Can not creat the decode stream."},
    {M::Mp3NoTempFile, "Mp3NoTempFile", "Can not creat the temporary file."},
    {M::WmaNoTempFile, "WmaNoTempFile", "Cannot creat the temporary file."},
    {M::CannotReadSource, "CannotReadSource", "Cannot read the source file."},
    {M::WavNoWorkingFile, "WavNoWorkingFile", "Cannot create the working file."},
    {M::CannotWriteWorkingFile, "CannotWriteWorkingFile", "Cannot write the working file (is the disk full?)."},
    {M::TooLong, "TooLong", "The audio is too long: the working file cannot grow past 4 GB."},
    {M::HeaderCannotOpen, "HeaderCannotOpen", "Cannot open the file."},
    {M::NotValidWave, "NotValidWave", "This is not a valid Wave file."},
    {M::CompressedWave, "CompressedWave", "Cannot handle compressed Wave file."},
    {M::NotPcm, "NotPcm", "Not PCM formats!"},
    {M::TooManyChannels, "TooManyChannels",
     "This Wave file has more than two channels: only mono and stereo files can be edited."},
    {M::CannotOpenTempFile, "CannotOpenTempFile", "Cannot open the temporary file."},
    {M::NoInstanceFolder, "NoInstanceFolder", "Cannot create a temporary folder."},
    {M::CannotPlay, "CannotPlay", "Cannot play this file: only mono and stereo PCM audio can be edited."},
    {M::WorkingFileGone, "WorkingFileGone",
     "The working file was removed or changed by another program: the document can no longer be edited or "
     "saved. Close it and open the file again."},
    {M::RecoverQuestion, "RecoverQuestion",
     "Torvane Audio Editor did not close properly. Recover the document \"%1\" with its unsaved changes?"},
    {M::RecoverCutShort, "RecoverCutShort", "Its last edit was cut short and may be partly applied."},
    {M::CannotRecover, "CannotRecover", "The document could not be recovered."},
    {M::NothingToKeep, "NothingToKeep", "There is nothing to keep: select at least one column before Cut Out."},
    {M::CannotWriteUndo, "CannotWriteUndo", "Cannot keep what the edit changes for Undo (is the disk full?)."},
    {M::CannotReadUndo, "CannotReadUndo", "Cannot read what Undo needs: the temporary files were removed."},
    {M::EditTooBigForUndo, "EditTooBigForUndo", "This edit changes more audio than can be kept for Undo."},
    {M::NoSpaceForUndo, "NoSpaceForUndo", "There is not enough free space to keep Undo for this edit."},
    {M::GoOnWithoutUndo, "GoOnWithoutUndo",
     "Go on without Undo? The edits before it can no longer be undone either."},
    {M::NothingToUndo, "NothingToUndo", "There is nothing to undo."},
    {M::NothingToRedo, "NothingToRedo", "There is nothing to redo."},
    {M::SaveChangesQuestion, "SaveChangesQuestion", "File has been modified.\nDo you want to save the changes?"},
    {M::OverwriteQuestion, "OverwriteQuestion", "This file already exists. Do you want to overwrite it?",
     M::CaptionInformation},
    {M::CannotReadWorkingFile, "CannotReadWorkingFile", "Cannot save the file: the working file cannot be read."},
    {M::SaveNoTempFile, "SaveNoTempFile",
     "Cannot save the file: its folder cannot be written. The file on disk was left as it was."},
    {M::SaveCannotReplace, "SaveCannotReplace",
     "Cannot save the file: it cannot be replaced. The file on disk was left as it was."},
    {M::SaveWriteFailed, "SaveWriteFailed",
     "Cannot save the file: writing it failed (is the disk full?). The file on disk was left as it was."},
    {M::SaveRefusedNoName, "SaveRefusedNoName", "Cannot save to \"\": a file needs a name. Nothing was changed."},
    {M::SaveRefusedFolder, "SaveRefusedFolder", "Cannot save to %1: it is a folder. Nothing was changed."},
    {M::SaveRefusedSocket, "SaveRefusedSocket", "Cannot save to %1: it is a socket. Nothing was changed."},
    {M::SaveRefusedBlockDevice, "SaveRefusedBlockDevice",
     "Cannot save to %1: it is a block device. Nothing was changed."},
    {M::SaveRefusedNotWritable, "SaveRefusedNotWritable",
     "Cannot save to %1: it is not a file that can be written. Nothing was changed."},
    {M::SaveRefusedSystem, "SaveRefusedSystem", "Cannot save to %1: %2. Nothing was changed."},
    {M::SaveStreamReplaced, "SaveStreamReplaced", "Cannot save to %1: it was replaced."},
    {M::SaveStreamNoReader, "SaveStreamNoReader", "Cannot save to %1: no program is reading from it."},
    {M::SaveStreamFailed, "SaveStreamFailed", "Cannot save to %1: %2."},
    {M::SaveEncoderFailed, "SaveEncoderFailed",
     "Cannot save the file: the %1 encoder failed. The file on disk was left as it was."},
    {M::LameCannotLoad, "LameCannotLoad", "Could not load lame_enc.dll file", M::CaptionLame, true},
    {M::LameMissingFunction, "LameMissingFunction", "Could not found %1 library function", M::CaptionLame, true},
    {M::LameCannotInit, "LameCannotInit", "Could not initialize Lame encoder", M::CaptionLame, true},
    {M::LameCannotCreateFile, "LameCannotCreateFile", "Can not create the file.", M::CaptionLame, true},
    {M::LameCompressionFailed, "LameCompressionFailed", "Could not perform compression", M::CaptionLame, true},
    {M::WmaCannotLoad, "WmaCannotLoad", "Could not load wmaudsdk.dll file", M::CaptionWma, true},
    {M::WmaMissingFunction, "WmaMissingFunction", "Could not found %1 library function", M::CaptionWma, true},
    {M::WmaCannotCreateWriter, "WmaCannotCreateWriter", "Failed to Create Audio Writer", M::CaptionWma, true},
    {M::WmaCannotSetInput, "WmaCannotSetInput", "Failed to Set Input Format", M::CaptionWma, true},
    {M::WmaCannotSetOutput, "WmaCannotSetOutput", "Failed to Set Output Format", M::CaptionWma, true},

    {M::OneFileAtATime, "OneFileAtATime",
     "Torvane Audio Editor opens one file at a time: %1 was opened, the others were not."},
    cli(M::CliNotSaved, "CliNotSaved", "The file was not saved."),
    cli(M::CliCannotWriteOutput, "CliCannotWriteOutput", "cannot write the output: %1"),
    cli(M::CliNoCommand, "CliNoCommand", "no command given"),
    cli(M::CliUnknownCommand, "CliUnknownCommand", "unknown command %1"),
    cli(M::CliUnknownOption, "CliUnknownOption", "unknown option %1"),
    cli(M::CliInfoArgs, "CliInfoArgs", "info needs a FILE"),
    cli(M::CliPeaksOneFile, "CliPeaksOneFile", "peaks takes one FILE"),
    cli(M::CliPeaksNeedsFile, "CliPeaksNeedsFile", "peaks needs a FILE"),
    cli(M::CliZoomNeedsLevel, "CliZoomNeedsLevel", "--zoom needs a level (10, 8, 6, 4, 2 or 1)"),
    cli(M::CliZoomLevel, "CliZoomLevel", "zoom level must be 10, 8, 6, 4, 2 or 1, not %1"),
    cli(M::CliDecodeArgs, "CliDecodeArgs", "decode takes FILE and OUT.wav"),
    cli(M::CliOutIsFile, "CliOutIsFile", "OUT must be another file than FILE: the source is never modified"),
    cli(M::CliOutIsIn, "CliOutIsIn", "OUT must be another file than IN: the source is never modified"),
    cli(M::CliBitRateWavOnly, "CliBitRateWavOnly", "--bitrate applies to MP3, WMA and Ogg output only"),
    cli(M::CliBitRateMp3, "CliBitRateMp3", "MP3 output takes --bitrate%1, not '%2'"),
    cli(M::CliBitRateWma, "CliBitRateWma", "WMA output takes --bitrate%1, not '%2'"),
    cli(M::CliBitRateOgg, "CliBitRateOgg", "Ogg output takes --bitrate from 45 to 500, not '%1'"),
    cli(M::CliBitRateNeedsNumber, "CliBitRateNeedsNumber", "--bitrate needs a number of kbit/s"),
    cli(M::CliFormat, "CliFormat", "--format takes wav, mp3, wma, flac or ogg, not %1"),
    cli(M::CliConvertArgs, "CliConvertArgs", "convert takes IN and OUT"),
    cli(M::CliOutKind, "CliOutKind",
        "%1: cannot write files of this kind (use .wav, .mp3, .wma, .flac or .ogg, or --format)"),
    cli(M::CliSelectNeeds, "CliSelectNeeds", "--select needs S:F"),
    cli(M::CliSelectValues, "CliSelectValues", "--select needs two column indices or times such as 12.5s, not %1"),
    cli(M::CliSelectRange, "CliSelectRange",
        "the editor cannot select %1: the start must be below the finish and the finish at most the last column (%2)"),
    cli(M::CliVolume, "CliVolume", "--volume takes 250, 200, 150, 100, 75, 50 or 25"),
    cli(M::CliVolumeNot, "CliVolumeNot", "--volume takes 250, 200, 150, 100, 75, 50 or 25, not %1"),
    cli(M::CliEditArgs, "CliEditArgs", "edit takes IN and OUT"),
    cli(M::CliEditNeedsOp, "CliEditNeedsOp", "edit needs at least one operation"),
    cli(M::CliSeeHelp, "CliSeeHelp", "(see torvane-cli --help)"),
    cli(M::CliEncoding, "CliEncoding", "Encoding:"),
    cli(M::CliSaving, "CliSaving", "Saving:"),
    cli(M::AppUsage, "AppUsage",
        "usage: torvane [--] [FILE]\n"
        "\n"
        "Opens FILE (WAV, MP3, WMA, AIFF, FLAC, Ogg Vorbis, Opus or M4A/AAC) in the Torvane Audio\n"
        "Editor window; without FILE the window opens empty. The editor holds one file at a time.\n"
        "  -h, --help             Show this text.\n"
        "  -V, --version          Print the version.\n"
        "  --                     Ends the options: what follows is FILE even if it starts with -.\n"
        "\n"
        "torvane-cli does the same work without a window: see torvane-cli --help.\n"),
    cli(M::CliUsage, "CliUsage", kUsage),
};

std::vector<MessageEntry> build() {
    std::vector<MessageEntry> byId(std::size_t(MessageId::Count) - 1);
    for (const MessageEntry& e : kEntries) byId.at(std::size_t(e.id) - 1) = e;
    for (std::size_t i = 0; i < byId.size(); ++i) {
        if (byId[i].id != MessageId(i + 1)) {
            std::fprintf(stderr, "message %zu has no text\n", i + 1);
            std::abort();
        }
    }
    return byId;
}

// A language file's value: "\n" breaks the line.
std::string unescape(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

}  // namespace

const std::vector<MessageEntry>& messageCatalogue() {
    static const std::vector<MessageEntry> entries = build();
    return entries;
}

const MessageEntry& messageEntry(MessageId id) {
    static const MessageEntry none{MessageId::None, "", ""};
    const auto& all = messageCatalogue();
    const std::size_t i = std::size_t(id);
    return i >= 1 && i <= all.size() ? all[i - 1] : none;
}

std::string substituteArgs(std::string_view text, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const std::size_t n = std::size_t(text[i + 1] - '1');
            if (n < args.size()) out += args[n];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string messageText(MessageId id, const std::vector<std::string>& args, const LanguageFile* language) {
    const MessageEntry& e = messageEntry(id);
    std::string text;
    if (language && !e.key.empty()) text = unescape(language->text("Messages", std::string(e.key)));
    if (text.empty()) text = std::string(e.english);
    return substituteArgs(text, args);
}

}  // namespace torvane
