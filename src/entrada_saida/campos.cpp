// campos.vti e campos.csv: os campos de todos os nós, nó a nó.
#include "entrada_saida/campos.hpp"

#include "entrada_saida/formatacao.hpp"
#include "modelo/variaveis.hpp"
#include "solvers/malha.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// Base64 em fluxo: os bytes entram aos poucos e saem em blocos de 4 KiB, sem
// alocar (os blocos ficam na pilha).
class Base64 {
public:
    explicit Base64(Arquivo_saida& f) : f_(f) {}
    Base64(const Base64&) = delete;
    Base64& operator=(const Base64&) = delete;

    void acrescentar(const void* dados, std::size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(dados);
        while (n > 0) {
            const std::size_t parte = std::min(n, cru_.size() - ocupados_);
            std::memcpy(cru_.data() + ocupados_, p, parte);
            ocupados_ += parte;
            p += parte;
            n -= parte;
            if (ocupados_ == cru_.size()) esvaziar();
        }
    }

    // O resto, completado com '=' até um múltiplo de 4 caracteres.
    void terminar() { esvaziar(); }

    static std::uint64_t caracteres(std::uint64_t bytes) { return (bytes + 2) / 3 * 4; }

private:
    void esvaziar()
    {
        static constexpr char alfabeto[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::size_t t = 0;
        std::size_t i = 0;
        for (; i + 3 <= ocupados_; i += 3) {
            const std::uint32_t trio = std::uint32_t{cru_[i]} << 16 | std::uint32_t{cru_[i + 1]} << 8 | cru_[i + 2];
            for (int s = 18; s >= 0; s -= 6) texto_[t++] = alfabeto[(trio >> s) & 63];
        }
        if (i < ocupados_) {
            const std::uint32_t b1 = i + 1 < ocupados_ ? cru_[i + 1] : 0;
            const std::uint32_t trio = std::uint32_t{cru_[i]} << 16 | b1 << 8;
            texto_[t++] = alfabeto[(trio >> 18) & 63];
            texto_[t++] = alfabeto[(trio >> 12) & 63];
            texto_[t++] = i + 1 < ocupados_ ? alfabeto[(trio >> 6) & 63] : '=';
            texto_[t++] = '=';
        }
        f_.escrever_bytes(std::string_view(texto_.data(), t));
        ocupados_ = 0;
    }

    Arquivo_saida& f_;
    std::array<unsigned char, 3 * 1024> cru_{}; // múltiplo de 3: só o último bloco tem '='
    std::array<char, 4 * 1024> texto_{};
    std::size_t ocupados_ = 0;
};

// Texto em blocos de até 8 KiB na pilha, gravado quando enche.
class Bloco {
public:
    explicit Bloco(Arquivo_saida& f) : f_(f) {}
    Bloco(const Bloco&) = delete;
    Bloco& operator=(const Bloco&) = delete;

    // Espaço para `n` bytes a partir do ponteiro devolvido; avance com usar().
    char* reservar(std::size_t n)
    {
        if (usados_ + n > texto_.size()) esvaziar();
        return texto_.data() + usados_;
    }
    void usar(char* fim) { usados_ = static_cast<std::size_t>(fim - texto_.data()); }
    void texto(std::string_view t)
    {
        char* p = reservar(t.size());
        usar(std::copy(t.begin(), t.end(), p));
    }
    void esvaziar()
    {
        f_.escrever_bytes(std::string_view(texto_.data(), usados_));
        usados_ = 0;
    }

private:
    Arquivo_saida& f_;
    std::array<char, 8 * 1024> texto_{};
    std::size_t usados_ = 0;
};

constexpr std::size_t componentes_do_vetor = 3;

std::string extensao(std::int32_t Nx, std::int32_t Ny)
{
    return "0 " + std::to_string(Nx - 1) + " 0 " + std::to_string(Ny - 1) + " 0 0";
}

std::string decimal(double valor)
{
    char texto[32];
    return std::string(texto, numero_exato(texto, valor, '.'));
}

std::string cabecalho_vti()
{
    const auto& e = estado;
    const char* ordem = std::endian::native == std::endian::little ? "LittleEndian" : "BigEndian";
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") +
           "<VTKFile type=\"ImageData\" version=\"1.0\" byte_order=\"" + ordem + "\" header_type=\"UInt64\">\n" +
           "  <ImageData WholeExtent=\"" + extensao(e.Nx, e.Ny) + "\" Origin=\"0 0 0\" Spacing=\"" + decimal(e.dx) +
           " " + decimal(e.dy) + " 1\">\n" + "    <Piece Extent=\"" + extensao(e.Nx, e.Ny) + "\">\n" +
           "      <PointData Scalars=\"" + nome_campo::T + "\" Vectors=\"" + nome_campo::deslocamento + "\">\n";
}

constexpr std::string_view rodape_vti = "      </PointData>\n"
                                        "      <CellData>\n"
                                        "      </CellData>\n"
                                        "    </Piece>\n"
                                        "  </ImageData>\n"
                                        "</VTKFile>\n";

std::string abertura_do_vetor(const char* nome, std::size_t componentes)
{
    return std::string("        <DataArray type=\"Float64\" Name=\"") + nome + "\"" +
           (componentes > 1 ? " NumberOfComponents=\"" + std::to_string(componentes) + "\"" : std::string()) +
           " format=\"binary\">";
}

constexpr std::string_view fechamento_do_vetor = "</DataArray>\n";

// Um vetor de dados: o número de bytes (UInt64) e os doubles, em base64 num
// fluxo só, como o leitor do VTK os espera sem compressão.
template <typename Valores>
void vetor_vti(Arquivo_saida& f, const char* nome, std::size_t componentes, Valores valores)
{
    const std::size_t n = static_cast<std::size_t>(estado.Nx) * static_cast<std::size_t>(estado.Ny);
    f.escrever_bytes(abertura_do_vetor(nome, componentes));
    Base64 b(f);
    const std::uint64_t bytes = std::uint64_t{n} * componentes * sizeof(double);
    b.acrescentar(&bytes, sizeof bytes);
    for (std::size_t k = 0; k < n; ++k) {
        const std::array<double, componentes_do_vetor> v = valores(k);
        b.acrescentar(v.data(), componentes * sizeof(double));
    }
    b.terminar();
    f.escrever_bytes(fechamento_do_vetor);
}

using Valor = std::array<double, componentes_do_vetor>;

std::string titulos_csv()
{
    std::string t = "ix;iy;x [m];y [m]";
    for (const char* nome : {nome_campo::T, nome_campo::Ta, nome_campo::erro, nome_campo::u, nome_campo::v}) {
        t += ';';
        t += nome;
    }
    return t + "\r\n";
}

constexpr std::string_view bom = "\xEF\xBB\xBF";
constexpr std::size_t numeros_por_linha = 7;
// Uma linha do CSV: dois inteiros, sete números, separadores e CR LF.
constexpr std::size_t maior_linha_csv = 2 * 11 + numeros_por_linha * 32 + 8 + 2;

} // namespace

char* numero_exato(char* destino, double valor, char separador)
{
    char* fim = std::to_chars(destino, destino + 32, valor).ptr;
    for (char* c = destino; c != fim; ++c) {
        if (*c == '.') *c = separador;
        else if (*c == 'e') *c = 'E';
    }
    return fim;
}

void escrever_campos_vti(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_bytes(cabecalho_vti());
    vetor_vti(f, nome_campo::T, 1, [&](std::size_t k) { return Valor{e.T[k]}; });
    vetor_vti(f, nome_campo::Ta, 1, [&](std::size_t k) { return Valor{e.Ta[k]}; });
    vetor_vti(f, nome_campo::erro, 1, [&](std::size_t k) { return Valor{e.Ta[k] - e.T[k]}; });
    vetor_vti(f, nome_campo::u, 1, [&](std::size_t k) { return Valor{e.u[k]}; });
    vetor_vti(f, nome_campo::v, 1, [&](std::size_t k) { return Valor{e.v[k]}; });
    vetor_vti(f, nome_campo::deslocamento, 3, [&](std::size_t k) { return Valor{e.u[k], e.v[k], 0.0}; });
    f.escrever_bytes(rodape_vti);
}

void escrever_campos_csv(Arquivo_saida& f)
{
    const auto& e = estado;
    Bloco b(f);
    b.texto(bom);
    b.texto(titulos_csv());
    for (std::int32_t iy = 1; iy <= e.Ny; ++iy) {
        for (std::int32_t ix = 1; ix <= e.Nx; ++ix) {
            const std::size_t k = no(ix, iy, e.Nx);
            char* p = b.reservar(maior_linha_csv);
            p = std::to_chars(p, p + 11, ix).ptr;
            *p++ = ';';
            p = std::to_chars(p, p + 11, iy).ptr;
            const double x = e.x[indice(ix)], y = e.y[indice(iy)];
            for (const double valor : {x, y, e.T[k], e.Ta[k], e.Ta[k] - e.T[k], e.u[k], e.v[k]}) {
                *p++ = ';';
                p = numero_exato(p, valor, ',');
            }
            *p++ = '\r';
            *p++ = '\n';
            b.usar(p);
        }
    }
    b.esvaziar();
}

std::uint64_t bytes_previstos_dos_campos()
{
    const auto& e = estado;
    const std::uint64_t n = static_cast<std::uint64_t>(e.Nx) * static_cast<std::uint64_t>(e.Ny);
    std::uint64_t vti = cabecalho_vti().size() + rodape_vti.size();
    for (const char* nome : {nome_campo::T, nome_campo::Ta, nome_campo::erro, nome_campo::u, nome_campo::v}) {
        vti += abertura_do_vetor(nome, 1).size() + Base64::caracteres(8 + n * 8) + fechamento_do_vetor.size();
    }
    vti += abertura_do_vetor(nome_campo::deslocamento, componentes_do_vetor).size() +
           Base64::caracteres(8 + n * componentes_do_vetor * 8) + fechamento_do_vetor.size();
    // CSV: uns 20 caracteres por número (os valores de 17 algarismos têm 22 ou 23; as coordenadas, menos).
    const std::uint64_t linha_csv = 2 * 4 + numeros_por_linha * 20 + 8 + 2;
    const std::uint64_t csv = bom.size() + titulos_csv().size() + n * linha_csv;
    return vti + csv;
}
