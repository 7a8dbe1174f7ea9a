// Compara duas saídas do placa2d (relatório ou arquivo da linha média), linha a
// linha e campo a campo, ignorando a linha do tempo de processamento. Lista
// cada valor diferente com a diferença absoluta, a relativa e a distância em
// ULPs (dos valores como impressos, com 16 algarismos).
//
//   comparar_saidas [--exato] REFERENCIA OUTRA
//
// Status: 0 iguais, ou (sem --exato) diferentes só dentro da tolerância;
// 1 diferença fora da tolerância ou de texto; 2 uso ou leitura.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Tolerância: diferença relativa de poucos ULPs (bibliotecas matemáticas que
// arredondam diferente no último bit) ou absoluta abaixo de 1e-18 (resíduos de
// arredondamento que deveriam ser zero, como sin(pi) na borda x = Lx).
constexpr double tolerancia_relativa = 1e-15;
constexpr double tolerancia_absoluta = 1e-18;
constexpr int maximo_listado = 25;

std::optional<std::string> ler(const char* nome)
{
    std::ifstream f(nome, std::ios::binary);
    if (!f) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> linhas(const std::string& texto)
{
    std::vector<std::string> saida;
    std::size_t inicio = 0;
    while (inicio < texto.size()) {
        std::size_t fim = texto.find('\n', inicio);
        if (fim == std::string::npos) fim = texto.size();
        std::string linha = texto.substr(inicio, fim - inicio);
        if (!linha.empty() && linha.back() == '\r') linha.pop_back();
        saida.push_back(linha);
        inicio = fim + 1;
    }
    return saida;
}

std::vector<std::string> campos(const std::string& linha)
{
    std::istringstream in(linha);
    std::vector<std::string> saida;
    for (std::string c; in >> c;) saida.push_back(c);
    return saida;
}

// Campo numérico do relatório; o expoente de três algarismos vem sem a letra E.
std::optional<double> numero(std::string texto)
{
    const std::size_t ponto = texto.find('.');
    if (ponto != std::string::npos && texto.find('E') == std::string::npos) {
        const std::size_t sinal = texto.find_first_of("+-", ponto);
        if (sinal != std::string::npos) {
            std::string com_letra(texto, 0, sinal);
            com_letra += 'E';
            com_letra.append(texto, sinal);
            texto = com_letra;
        }
    }
    double valor = 0.0;
    const auto [fim, erro] = std::from_chars(texto.data(), texto.data() + texto.size(), valor);
    if (erro != std::errc{} || fim != texto.data() + texto.size()) return std::nullopt;
    return valor;
}

// Distância em ULPs entre dois doubles finitos.
double ulps(double a, double b)
{
    auto ordenado = [](double d) {
        std::int64_t i;
        std::memcpy(&i, &d, sizeof i);
        return static_cast<__int128>(i < 0 ? INT64_MIN - i : i);
    };
    const __int128 d = ordenado(a) - ordenado(b);
    return static_cast<double>(d < 0 ? -d : d);
}

bool eh_linha_de_tempo(const std::string& linha) { return linha.rfind("Tempo de processamento", 0) == 0; }

} // namespace

int main(int argc, char** argv)
{
    bool exato = false;
    int primeiro = 1;
    if (argc > 1 && std::strcmp(argv[1], "--exato") == 0) {
        exato = true;
        primeiro = 2;
    }
    if (argc - primeiro != 2) {
        std::fprintf(stderr, "uso: comparar_saidas [--exato] REFERENCIA OUTRA\n");
        return 2;
    }
    const char* nome_a = argv[primeiro];
    const char* nome_b = argv[primeiro + 1];
    const auto texto_a = ler(nome_a);
    const auto texto_b = ler(nome_b);
    if (!texto_a || !texto_b) {
        std::fprintf(stderr, "comparar_saidas: não foi possível ler %s\n", !texto_a ? nome_a : nome_b);
        return 2;
    }
    const auto a = linhas(*texto_a);
    const auto b = linhas(*texto_b);

    int diferentes = 0;
    int fora = 0;
    double maior_absoluta = 0.0;
    double maior_ulps = 0.0;
    auto listar = [&](const char* formato, auto... args) {
        if (diferentes + fora <= maximo_listado) std::printf(formato, args...);
    };

    if (a.size() != b.size()) {
        std::printf("%s: %zu linhas, %s: %zu linhas\n", nome_a, a.size(), nome_b, b.size());
        ++fora;
    }
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        if (eh_linha_de_tempo(a[i]) && eh_linha_de_tempo(b[i])) continue;
        const auto ca = campos(a[i]);
        const auto cb = campos(b[i]);
        if (ca.size() != cb.size() || ca == cb) { // outro texto, ou só o alinhamento
            ++fora;
            listar("  linha %zu: texto diferente\n    < %s\n    > %s\n", i + 1, a[i].c_str(), b[i].c_str());
            continue;
        }
        listar("  linha %zu: %s\n", i + 1, a[i].c_str());
        for (std::size_t j = 0; j < ca.size(); ++j) {
            if (ca[j] == cb[j]) continue;
            const auto va = numero(ca[j]);
            const auto vb = numero(cb[j]);
            if (!va || !vb || !std::isfinite(*va) || !std::isfinite(*vb)) {
                ++fora;
                listar("    campo %zu: \"%s\" | \"%s\"\n", j + 1, ca[j].c_str(), cb[j].c_str());
                continue;
            }
            const double absoluta = std::fabs(*va - *vb);
            const double escala = std::max(std::fabs(*va), std::fabs(*vb));
            const double relativa = escala > 0 ? absoluta / escala : 0.0;
            const double distancia = ulps(*va, *vb);
            const bool aceita =
                !exato && (absoluta <= tolerancia_relativa * escala || absoluta <= tolerancia_absoluta);
            if (aceita) ++diferentes;
            else ++fora;
            maior_absoluta = std::max(maior_absoluta, absoluta);
            maior_ulps = std::max(maior_ulps, distancia);
            listar("    campo %zu: %s | %s  dif %.2e (relativa %.1e, %.3g ULPs)%s\n", j + 1,
                   ca[j].c_str(), cb[j].c_str(), absoluta, relativa, distancia, aceita ? "" : "  FORA DA TOLERÂNCIA");
        }
    }
    const int total = diferentes + fora;
    if (total > maximo_listado) std::printf("  ... e mais %d\n", total - maximo_listado);
    if (total == 0) {
        std::printf("%s e %s: iguais (fora a linha do tempo)\n", nome_a, nome_b);
        return 0;
    }
    std::printf("%s e %s: %d diferença(s), %d fora da tolerância%s; maior diferença absoluta %.2e, maior "
                "distância %.3g ULPs\n",
                nome_a, nome_b, total, fora,
                exato ? " (comparação exata)" : " (tolerância: 1e-15 relativa ou 1e-18 absoluta)", maior_absoluta,
                maior_ulps);
    return fora == 0 ? 0 : 1;
}
