#include "word_grid.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>

namespace wordmaze {

namespace {

// Letters weighted roughly by their frequency in English words, without Q,
// which would need a U next to it to be of any use.
constexpr std::string_view kLetterBag =
    "AAAAAAAABBCCCDDDDEEEEEEEEEEEFFGGGHHHIIIIIIIJKLLLLMMMNNNNNNOOOOOOOPPRRRRRR"
    "SSSSSSTTTTTTTUUUVWWXYYZ";

// Short common words, so a small grid still holds a few.
constexpr std::string_view kWords =
    "ACE ACT ADD AGE AGO AID AIM AIR ALE ALL AND ANT ANY APE ARC ARE ARK ARM ART ASH ASK ATE "
    "BAD BAG BAN BAR BAT BED BEE BET BID BIG BIN BIT BOW BOX BOY BUD BUG BUN BUS BUT BUY "
    "CAB CAN CAP CAR CAT COD COT COW CRY CUB CUP CUT DAD DAY DEN DEW DID DIE DIG DIM DIN DIP "
    "DOE DOG DOT DRY DUE DUG DYE EAR EAT EEL EGG ELF ELM END ERA EVE EWE EYE FAN FAR FAT FED "
    "FEW FIG FIN FIR FIT FLY FOE FOG FOR FOX FRY FUN FUR GAP GAS GEL GEM GET GIN GOD GOT GUM "
    "GUN GUT GUY HAD HAM HAS HAT HAY HEN HER HID HIM HIP HIS HIT HOG HOP HOT HOW HUB HUE HUG "
    "HUT ICE ICY ILL INK INN ION ITS JAM JAR JAW JET JOB JOG JOY KEY KID KIN KIT LAB LAD LAP "
    "LAW LAY LED LEG LET LID LIE LIP LIT LOG LOT LOW MAD MAN MAP MAT MAY MEN MET MID MIX MOB "
    "MOP MUD MUG NAP NET NEW NIL NOD NOR NOT NOW NUT OAK OAR OAT ODD ODE OFF OIL OLD ONE OPT "
    "ORE OUR OUT OWE OWL OWN PAD PAN PAT PAW PAY PEA PEN PET PIE PIG PIN PIT POD POT PUT RAN "
    "RAT RAW RAY RED RIB RID RIM RIP ROD ROT ROW RUB RUG RUN RUT SAD SAT SAW SAY SEA SET SEW "
    "SHE SIN SIP SIR SIT SIX SKI SKY SON SOW SPA SPY SUN TAB TAN TAP TAR TEA TEN THE TIE TIN "
    "TIP TOE TON TOO TOP TOW TOY TUB TWO USE VAN VAT WAR WAS WAX WAY WEB WET WHO WHY WIG WIN "
    "WIT WON YES YET ZIP ZOO "
    "ABLE ACID AREA ARMY BAKE BALD BALL BAND BANK BARN BASE BATH BEAD BEAN BEAR BEAT BELT "
    "BEND BEST BIRD BITE BLUE BOAT BODY BOLD BONE BOOK BORN BOTH BOWL BURN CAKE CALM CAME "
    "CAMP CARD CARE CART CASE CAST CELL CITY CLAY COAT CODE COLD COIN CONE COOK COOL CORE "
    "CORN COST CROW CURE DARE DARK DART DATA DATE DAWN DEAL DEAR DEED DEEP DEER DENT DIAL "
    "DIET DINE DIRT DISH DOLL DOME DONE DOOR DOSE DOVE DOWN DRAW DROP DRUM DUCK DUEL DUNE "
    "DUST EACH EARN EAST EASY EDGE EDIT FACE FACT FAIR FALL FARM FAST FATE FEAR FEED FEEL "
    "FEET FELT FILE FILM FIND FINE FIRE FIRM FISH FIST FLAG FLAT FLEW FOAM FOLD FOND FOOD "
    "FOOT FORM FORT FOUR FROG FUEL GAIN GAME GATE GAVE GEAR GIFT GIRL GLAD GLOW GLUE GOAL "
    "GOAT GOLD GOLF GONE GOOD GROW HAIR HALF HALL HAND HARD HARM HATE HEAD HEAR HEAT HELD "
    "HELP HERD HERO HIDE HIGH HILL HINT HOLD HOLE HOME HOPE HORN HOSE HOST HUNT IDEA IRON "
    "ITEM JOIN JOKE KEEN KEEP KIND KING KITE KNEE KNOT LACE LAKE LAMB LAMP LAND LANE LAST "
    "LATE LEAD LEAF LEAN LEFT LEND LENS LIFE LIFT LINE LINK LION LIST LOAD LOAN LOCK LONE "
    "LONG LOOP LORD LOSE LOST LOUD LOVE MADE MAIL MAIN MAKE MALE MANY MARK MASK MAST MEAL "
    "MEAT MELT MILD MILE MILK MIND MINE MINT MIST MOLE MOOD MOON MORE MOST MOVE NAIL NAME "
    "NEAR NEAT NECK NEED NEST NEWS NICE NINE NODE NONE NOON NOSE NOTE OATH ONCE OPEN OVEN "
    "PACE PAGE PAID PAIL PAIN PAIR PALE PALM PARK PART PAST PATH PEAR PINE PINK PIPE PLAN "
    "POEM POET POLE POND POOL PORT POSE POST POUR RACE RAIN RANK RARE RATE READ REAL REST "
    "RICE RICH RIDE RING RISE RISK ROAD ROBE ROCK RODE ROLE ROOF ROOM ROOT ROPE ROSE RUDE "
    "RULE RUST SAFE SAID SAIL SALT SAME SAND SANE SEAL SEAT SEED SEEN SELL SEND SENT SHIP "
    "SHOE SHOP SIDE SIGN SILK SING SITE SIZE SLOW SNOW SOAP SOFT SOIL SOLD SOLE SONG SORT "
    "SOUL SOUP SPIN STAR STAY STEM STEP STIR STOP SUIT SWIM TAIL TALE TALL TAME TANK TAPE "
    "TEAM TEAR TELL TEND TENT TERM TEST TIDE TIED TILE TIME TINY TIRE TOAD TOLD TONE TOOL "
    "TORN TOUR TOWN TREE TRIM TRIP TUNE TURN UNIT USED VASE VAST VEIL VINE VOTE WADE WAIT "
    "WAKE WALK WALL WAND WANT WARM WASH WAVE WEAR WEED WELL WENT WEST WIDE WILD WIND WINE "
    "WING WIRE WISE WISH WOLF WOOD WOOL WORD WORE WORN YARD YEAR ZONE "
    "ADMIT ALERT ALONE ANGEL ANGER APRON ARISE ASIDE BEAST BLADE BLAME BLEND BOARD BRAIN "
    "BREAD BRIDE CABIN CANOE CEDAR CHAIN CHAIR CHEST CLEAN CLEAR CLOUD COAST CRANE CREST "
    "DANCE DELTA DINER DRAIN DREAM DRINK EARTH EIGHT ENTER FAINT FEAST FIELD FLAME FLOAT "
    "GIANT GLOBE GRAIN GRAND GRAPE GREAT GREEN HEART HONEY HORSE HOTEL IDEAL INLET LASER "
    "LEARN LEMON LIGHT LINEN MAPLE MEDAL METAL NOBLE NORTH OCEAN OLIVE ONSET OTTER PAINT "
    "PANEL PIANO PLAIN PLANE PLANT PLATE POINT RAISE RANCH REACT RIDER RIVER ROAST ROUND "
    "ROUTE SAINT SALAD SCALE SCENE SHADE SHINE SHORE SLATE SNAIL SOLAR SOUND SOUTH SPARE "
    "SPEAR STAIN STAIR STALE STARE START STEAL STEAM STONE STORE STORM STOVE TABLE TIGER "
    "TOAST TOWEL TRAIL TRAIN TREAT TRIAL TRIED UNTIL WATER WHEAT WORLD "
    "DETAIL DINNER ISLAND LETTER MARINE ORANGE PLANET SILENT STREAM TRAINS WINTER ";

// A generator fixed by its definition, so that a seed gives the same grid
// wherever the game runs.
class LetterSource {
public:
    explicit LetterSource(std::uint32_t seed) : state_(seed) {}
    char Next() {
        state_ = state_ * 1664525U + 1013904223U;
        // The high bits of a linear congruential generator are its best ones.
        return kLetterBag[(state_ >> 16) % kLetterBag.size()];
    }

private:
    std::uint32_t state_;
};

std::string Upper(std::string_view text) {
    std::string upper;
    for (const char c : text) {
        if (c == ' ' || c == '\t') continue;
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

}  // namespace

std::uint32_t SeedFromText(std::string_view text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size() && !text.empty()) return value;
    // FNV-1a: any text, including an overlong number, maps to a fixed seed.
    std::uint32_t hash = 2166136261U;
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619U;
    }
    return hash;
}

int GridSizeForLevel(int level) {
    return std::clamp(kMinGridSize - 1 + level, kMinGridSize, kMaxGridSize);
}

Grid::Grid(std::uint32_t seed, int size) : size_(std::clamp(size, kMinGridSize, kMaxGridSize)) {
    LetterSource source(seed);
    for (int i = 0; i < size_ * size_; ++i) letters_ += source.Next();
}

Grid Grid::FromRows(std::string_view rows) {
    Grid grid;
    std::string letters;
    for (const char c : rows) {
        if (c != '/') letters += c;
    }
    const auto side = static_cast<std::size_t>(std::count(rows.begin(), rows.end(), '/') + 1);
    if (side < kMinGridSize || side > kMaxGridSize || letters.size() != side * side) {
        grid.letters_.assign(kMinGridSize * kMinGridSize, ' ');
        return grid;
    }
    grid.size_ = static_cast<int>(side);
    grid.letters_ = letters;
    return grid;
}

char Grid::At(int row, int column) const {
    return letters_[static_cast<std::size_t>(row * size_ + column)];
}

std::string Grid::Text() const {
    std::string text;
    for (int row = 0; row < size_; ++row) {
        if (row > 0) text += '/';
        text += letters_.substr(static_cast<std::size_t>(row * size_),
                                static_cast<std::size_t>(size_));
    }
    return text;
}

bool Grid::Traces(std::string_view word) const {
    if (word.empty()) return false;
    std::vector<bool> used(letters_.size(), false);
    for (int cell = 0; cell < size_ * size_; ++cell) {
        if (TracesFrom(cell, word, used)) return true;
    }
    return false;
}

bool Grid::TracesFrom(int cell, std::string_view rest, std::vector<bool>& used) const {
    const auto index = static_cast<std::size_t>(cell);
    if (used[index] || letters_[index] != rest.front()) return false;
    if (rest.size() == 1) return true;
    used[index] = true;
    const int row = cell / size_;
    const int column = cell % size_;
    for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
            const int r = row + dr;
            const int c = column + dc;
            if ((dr == 0 && dc == 0) || r < 0 || c < 0 || r >= size_ || c >= size_) continue;
            if (TracesFrom(r * size_ + c, rest.substr(1), used)) {
                used[index] = false;
                return true;
            }
        }
    }
    used[index] = false;
    return false;
}

const std::set<std::string, std::less<>>& Dictionary() {
    static const std::set<std::string, std::less<>> words = [] {
        std::set<std::string, std::less<>> set;
        std::istringstream stream{std::string(kWords)};
        std::string word;
        while (stream >> word) set.insert(word);
        return set;
    }();
    return words;
}

std::vector<std::string> FindWords(const Grid& grid) {
    std::vector<std::string> found;
    for (const std::string& word : Dictionary()) {
        if (grid.Traces(word)) found.push_back(word);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return found;
}

int WordPoints(std::size_t length) {
    if (length < kMinWordLength) return 0;
    if (length <= 4) return 1;
    if (length == 5) return 2;
    if (length == 6) return 3;
    if (length == 7) return 5;
    return 11;
}

Verdict Round::Try(std::string_view typed) {
    ++moves_;
    const std::string word = Upper(typed);
    if (word.size() < kMinWordLength) return Verdict::TooShort;
    if (std::find(found_.begin(), found_.end(), word) != found_.end()) {
        return Verdict::AlreadyFound;
    }
    if (!grid_.Traces(word)) return Verdict::NotInGrid;
    if (Dictionary().find(word) == Dictionary().end()) return Verdict::NotAWord;
    found_.push_back(word);
    // Ten per point reads better on a tournament's score board.
    score_ += static_cast<std::uint32_t>(WordPoints(word.size()) * 10);
    return Verdict::Accepted;
}

}  // namespace wordmaze
