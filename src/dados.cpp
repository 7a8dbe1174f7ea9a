#include "dados.hpp"

#include "erros.hpp"
#include "formatacao.hpp"
#include "plataforma.hpp"
#include "progresso.hpp"
#include "variaveis.hpp"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <variant>

namespace {

const char* const arquivo_entrada = "entrada_geral.ent";

// ---------------------------------------------------------------- entrada

using Destino = std::variant<std::string Variaveis::*, double Variaveis::*, std::int32_t Variaveis::*>;

struct Parametro {
    const char* nome;
    Destino destino;
};

const Parametro parametros[] = {
    {"nome_relatorio", &Variaveis::nome_relatorio},
    {"Lx", &Variaveis::Lx},
    {"Ly", &Variaveis::Ly},
    {"Nx", &Variaveis::Nx},
    {"Ny", &Variaveis::Ny},
    {"itmax", &Variaveis::itmax},
    {"itgs", &Variaveis::itgs},
    {"itdesl", &Variaveis::itdesl},
    {"tol", &Variaveis::tol},
    {"reserva", &Variaveis::reserva},
    {"nu", &Variaveis::nu},
    {"alpha", &Variaveis::alpha},
    {"modo_saida", &Variaveis::modo_saida},
    {"passo_hist", &Variaveis::passo_hist},
};

constexpr std::string_view brancos = " \t\r";
constexpr std::string_view separadores = " \t\r,/";

// Trecho do arquivo como aparece na mensagem: curto e sem caracteres de controle.
std::string mostrar(std::string_view texto)
{
    constexpr std::size_t limite = 40;
    std::string saida;
    for (const char c : texto.substr(0, limite)) {
        const unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            const char* const hex = "0123456789ABCDEF";
            saida += "\\x";
            saida += hex[b >> 4];
            saida += hex[b & 0xF];
        } else {
            saida += c;
        }
    }
    if (texto.size() > limite) saida += "... (" + std::to_string(texto.size()) + " caracteres)";
    return "\"" + saida + "\"";
}

class Leitor_entrada {
public:
    explicit Leitor_entrada(std::string_view conteudo) : texto_(conteudo)
    {
        if (texto_.starts_with("\xEF\xBB\xBF")) texto_.remove_prefix(3);
    }

    // Próxima linha que não seja vazia nem só de brancos, sem os brancos iniciais.
    bool proxima_linha_com_valor(std::string_view& linha)
    {
        while (!texto_.empty()) {
            const std::size_t fim = texto_.find('\n');
            linha = texto_.substr(0, fim);
            texto_.remove_prefix(fim == std::string_view::npos ? texto_.size() : fim + 1);
            ++numero_;
            if (linha.ends_with('\r')) linha.remove_suffix(1);
            const std::size_t inicio = linha.find_first_not_of(brancos);
            if (inicio != std::string_view::npos) {
                linha.remove_prefix(inicio);
                return true;
            }
        }
        return false;
    }

    int numero_linha() const { return numero_; }

private:
    std::string_view texto_;
    int numero_ = 0;
};

[[noreturn]] void erro_leitura(int linha, const Parametro& p, std::string_view valor, const std::string& motivo)
{
    throw Erro_execucao("erro de leitura em " + std::string(arquivo_entrada) + ", linha " + std::to_string(linha) +
                        " (parâmetro " + p.nome + "): " + mostrar(valor) + " " + motivo);
}

std::string_view primeiro_item(std::string_view linha) { return linha.substr(0, linha.find_first_of(separadores)); }

std::string ler_nome(std::string_view linha, int numero, const Parametro& p)
{
    const char delimitador = linha[0];
    if (delimitador != '\'' && delimitador != '"') return std::string(primeiro_item(linha));
    std::string nome;
    std::size_t i = 1;
    while (true) {
        const std::size_t fim = linha.find(delimitador, i);
        if (fim == std::string_view::npos) {
            erro_leitura(numero, p, linha, "não tem o delimitador de fechamento (" + std::string(1, delimitador) + ")");
        }
        nome.append(linha.substr(i, fim - i));
        if (fim + 1 < linha.size() && linha[fim + 1] == delimitador) {
            nome += delimitador;
            i = fim + 2;
        } else {
            return nome;
        }
    }
}

bool eh_digito(char c) { return c >= '0' && c <= '9'; }

std::int32_t ler_inteiro(std::string_view item, int numero, const Parametro& p)
{
    std::size_t i = (!item.empty() && (item[0] == '+' || item[0] == '-')) ? 1 : 0;
    const bool negativo = i == 1 && item[0] == '-';
    if (i == item.size() || !std::all_of(item.begin() + static_cast<std::ptrdiff_t>(i), item.end(), eh_digito)) {
        erro_leitura(numero, p, item, "não é um número inteiro");
    }
    constexpr std::int64_t limite = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t valor = 0;
    for (; i < item.size(); ++i) {
        valor = valor * 10 + (item[i] - '0');
        if (valor > limite) break;
    }
    if (negativo) valor = -valor;
    if (valor < std::numeric_limits<std::int32_t>::min() || valor > std::numeric_limits<std::int32_t>::max()) {
        erro_leitura(numero, p, item, "está fora do intervalo dos inteiros de 32 bits (-2147483648 a 2147483647)");
    }
    return static_cast<std::int32_t>(valor);
}

// Forma de um real: sinal opcional, algarismos com ponto opcional, expoente
// opcional com a letra E ou D. Devolve o texto na forma aceita por from_chars.
bool normalizar_real(std::string_view item, std::string& normal, bool& expoente_negativo_grande)
{
    std::size_t i = 0;
    normal.clear();
    if (i < item.size() && (item[i] == '+' || item[i] == '-')) {
        if (item[i] == '-') normal += '-';
        ++i;
    }
    std::size_t algarismos = 0;
    std::int64_t posicao_decimal = 0; // expoente decimal do primeiro algarismo não nulo
    bool achou_nao_nulo = false;
    bool depois_do_ponto = false;
    for (; i < item.size(); ++i) {
        const char c = item[i];
        if (eh_digito(c)) {
            ++algarismos;
            if (c != '0' && !achou_nao_nulo) achou_nao_nulo = true;
            if (!depois_do_ponto && achou_nao_nulo) ++posicao_decimal;
            if (depois_do_ponto && !achou_nao_nulo) --posicao_decimal;
        } else if (c == '.' && !depois_do_ponto) {
            depois_do_ponto = true;
        } else {
            break;
        }
        normal += c;
    }
    if (algarismos == 0) return false;
    std::int64_t expoente = 0;
    if (i < item.size()) {
        const char letra = item[i];
        if (letra != 'E' && letra != 'e' && letra != 'D' && letra != 'd') return false;
        normal += 'e';
        ++i;
        bool negativo = false;
        if (i < item.size() && (item[i] == '+' || item[i] == '-')) {
            negativo = item[i] == '-';
            normal += item[i];
            ++i;
        }
        if (i == item.size()) return false;
        for (; i < item.size(); ++i) {
            if (!eh_digito(item[i])) return false;
            if (expoente < 1000000000) expoente = expoente * 10 + (item[i] - '0');
            normal += item[i];
        }
        if (negativo) expoente = -expoente;
    }
    expoente_negativo_grande = !achou_nao_nulo || posicao_decimal + expoente < 0;
    return true;
}

double ler_real(std::string_view item, int numero, const Parametro& p)
{
    std::string normal;
    bool pequeno = false;
    if (!normalizar_real(item, normal, pequeno)) erro_leitura(numero, p, item, "não é um número real");
    double valor = 0.0;
    const auto [fim, erro] = std::from_chars(normal.data(), normal.data() + normal.size(), valor);
    if (erro == std::errc::result_out_of_range) {
        if (!pequeno) erro_leitura(numero, p, item, "excede o maior número real representável");
        return normal[0] == '-' ? -0.0 : 0.0; // abaixo do menor subnormal: zero
    }
    if (erro != std::errc{} || fim != normal.data() + normal.size()) {
        erro_leitura(numero, p, item, "não é um número real");
    }
    return valor;
}

std::string ajustar_nome(std::string nome)
{
    nome.resize(tamanho_nome_relatorio, ' ');
    return nome;
}

// Número seguido de vírgula e algarismo: vírgula decimal, que terminaria o
// valor em silêncio (1,5 seria lido como 1).
void recusar_virgula_decimal(std::string_view linha, std::string_view item, int numero, const Parametro& p,
                             bool inteiro)
{
    if (item.size() + 1 >= linha.size() || linha[item.size()] != ',' || !eh_digito(linha[item.size() + 1])) return;
    std::string texto(linha.substr(0, linha.find_first_of(" \t\r/")));
    if (inteiro) erro_leitura(numero, p, texto, "tem vírgula decimal; escreva um número inteiro, só com algarismos");
    std::string sugestao = texto;
    sugestao[item.size()] = '.';
    erro_leitura(numero, p, texto, "tem vírgula decimal; use ponto decimal: " + sugestao);
}

void ler_parametro(std::string_view linha, int numero, const Parametro& p)
{
    if (linha[0] == ',' || linha[0] == '/') return; // valor vazio: fica o de início
    const std::string_view item = primeiro_item(linha);
    std::visit(
        [&](auto membro) {
            using Tipo = std::remove_reference_t<decltype(estado.*membro)>;
            if constexpr (std::is_same_v<Tipo, std::string>) {
                estado.*membro = ajustar_nome(ler_nome(linha, numero, p));
            } else if constexpr (std::is_same_v<Tipo, double>) {
                estado.*membro = ler_real(item, numero, p);
                recusar_virgula_decimal(linha, item, numero, p, false);
            } else {
                estado.*membro = ler_inteiro(item, numero, p);
                recusar_virgula_decimal(linha, item, numero, p, true);
            }
        },
        p.destino);
}

std::string ler_arquivo(const char* nome)
{
    const std::string inicio = std::string("o arquivo de entrada ") + nome + " no diretório de trabalho ";
    std::error_code erro;
    const auto situacao = std::filesystem::status(nome, erro);
#ifdef ELOOP
    if (erro.default_error_condition() == std::errc::too_many_symbolic_link_levels) {
        throw Erro_execucao(inicio + "é uma ligação simbólica em ciclo (aponta, direta ou indiretamente, para si "
                                     "mesma); apague-a e ponha no lugar o arquivo de entrada");
    }
#endif
    if (std::filesystem::is_directory(situacao)) {
        throw Erro_execucao(inicio + "é um diretório; ponha no lugar dele o arquivo de texto com os catorze "
                                     "parâmetros (o exemplo está em exemplo/entrada_geral.ent)");
    }
    std::ifstream arquivo(nome, std::ios::binary);
    if (!arquivo) {
        throw Erro_execucao(std::string("não foi possível abrir ") + inicio +
                            "(arquivo inexistente ou sem permissão de leitura)");
    }
    std::string conteudo((std::istreambuf_iterator<char>(arquivo)), std::istreambuf_iterator<char>());
    if (arquivo.bad()) throw Erro_execucao(std::string("falha ao ler o arquivo de entrada ") + nome);
    return conteudo;
}

// Temporários das três saídas, criados antes do cálculo (preparar_saidas).
struct Saidas {
    Arquivo_saida relatorio{nome_relatorio_aparado()};
    Arquivo_saida x_meio{"desl_x_meio.txt"};
    Arquivo_saida y_meio{"desl_y_meio.txt"};
};
std::unique_ptr<Saidas> saidas_preparadas;

// ---------------------------------------------------------------- saída

constexpr std::size_t largura_regua = 104;

std::size_t indice(std::int32_t i) { return static_cast<std::size_t>(i - 1); }

std::size_t no(std::int32_t ix, std::int32_t iy)
{
    return static_cast<std::size_t>(iy - 1) * static_cast<std::size_t>(estado.Nx) + indice(ix);
}

void regua(Arquivo_saida& f) { f.escrever(Linha().texto(std::string(largura_regua, '*'))); }

void regua_titulada(Arquivo_saida& f, std::string_view titulo)
{
    Linha linha;
    linha.texto(titulo).texto(" ");
    linha.texto(std::string(largura_regua - linha.conteudo().size(), '*'));
    f.escrever(linha);
}

// Régua, título entre asteriscos, régua e linha vazia.
void cabecalho_de_secao(Arquivo_saida& f, std::string_view titulo)
{
    regua(f);
    regua_titulada(f, titulo);
    regua(f);
    f.escrever_vazia();
}

void secao_parametros_fisicos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever(Linha().texto("Difusão de Calor 2DP em Placa Plana sem Geração de Calor"));
    f.escrever_vazia();
    cabecalho_de_secao(f, "Parâmetros Físicos");
    f.escrever(Linha().cientifico(e.Lx).coluna(30).texto(" = Lx:     comprimento do domínio [m]"));
    f.escrever(Linha().cientifico(e.Ly).coluna(30).texto(" = Ly:     altura do domínio [m]"));
}

void secao_parametros_numericos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Parâmetros Numéricos");
    f.escrever(Linha().inteiro(e.Nx).coluna(30).texto(" = Nx:     número de nós da malha, direção x"));
    f.escrever(Linha().inteiro(e.Ny).coluna(30).texto(" = Ny:     número de nós da malha, direção y"));
    f.escrever(Linha().inteiro(e.itmax).coluna(30).texto(" = itmax:  número máximo de iterações a ser efetuada"));
    f.escrever(Linha().cientifico(e.tol).coluna(30).texto(" = tol:    tolerância máxima admitida"));
    f.escrever(Linha().inteiro(e.it).coluna(30).texto(" = it:     iterações realizadas"));
    f.escrever(Linha()
                   .cientifico(e.L1[static_cast<std::size_t>(e.it)])
                   .coluna(30)
                   .texto(" = L1(it): norma L1 adimensionalizada na última iteração"));
}

void secao_normas_iniciais(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever(Linha().texto("Norma L1 com base no campo inicial de temperaturas:").coluna(60).cientifico(e.L1[0]));
    f.escrever(Linha().texto("Norma L2 com base no campo inicial de temperaturas:").coluna(60).cientifico(e.L2[0]));
    f.escrever(
        Linha().texto("Norma L-infinito com base no campo inicial de temperaturas:").coluna(60).cientifico(e.Linf[0]));
}

void linha_de_historia(Arquivo_saida& f, std::int32_t ih)
{
    const auto& e = estado;
    const std::size_t i = static_cast<std::size_t>(ih);
    f.escrever(Linha().inteiro(ih).cientifico(e.L1[i] / e.L1[0]).cientifico(e.L2[i] / e.L2[0]).cientifico(
        e.Linf[i] / e.Linf[0]));
}

void secao_problema_termico(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    regua_titulada(f, "* Problema térmico");
    f.escrever_vazia();
    f.escrever(Linha()
                   .texto("  iteração")
                   .coluna(15)
                   .texto("L1(it)/L1(0)")
                   .coluna(40)
                   .texto("L2(it)/L2(0)")
                   .coluna(65)
                   .texto("Linf(it)/Linf(0)"));
    const std::int64_t p = e.passo_hist;
    const std::int64_t it = e.it;
    if (p < 0) {
        // Passo negativo: só a linha da última iteração.
        linha_de_historia(f, e.it);
        return;
    }
    const std::int64_t linhas = (it + p) / p;
    std::int64_t ih = 0;
    for (std::int64_t n = 0; n < linhas; ++n, ih += p) linha_de_historia(f, static_cast<std::int32_t>(ih));
    if (ih - p != it) linha_de_historia(f, e.it);
}

// Nós listados conforme modo_saida: todos (1), só o central (2) ou nenhum.
template <typename Escrever_no>
void listar_nos(Escrever_no escrever_no)
{
    const auto& e = estado;
    if (e.modo_saida == 1) {
        for (std::int32_t iy = 1; iy <= e.Ny; ++iy) {
            for (std::int32_t ix = 1; ix <= e.Nx; ++ix) escrever_no(ix, iy);
        }
    } else if (e.modo_saida == 2) {
        escrever_no((e.Nx + 1) / 2, (e.Ny + 1) / 2);
    }
}

void secao_temperaturas(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Soluções para o campo de temperaturas");
    f.escrever(Linha()
                   .coluna(5)
                   .texto("Posição x")
                   .coluna(30)
                   .texto("Posição y")
                   .coluna(55)
                   .texto("Temp. numérica")
                   .coluna(80)
                   .texto("Temp. analítica")
                   .coluna(105)
                   .texto("Erro numérico"));
    listar_nos([&](std::int32_t ix, std::int32_t iy) {
        const std::size_t k = no(ix, iy);
        f.escrever(Linha()
                       .cientifico(e.x[indice(ix)])
                       .cientifico(e.y[indice(iy)])
                       .cientifico(e.T[k])
                       .cientifico(e.Ta[k])
                       .cientifico(e.Ta[k] - e.T[k]));
    });
}

void secao_medias(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    f.escrever(Linha().texto("Temperatura média (analítica):").coluna(45).cientifico(e.Tmed_a));
    f.escrever(Linha().texto("Temperatura média (numérica):").coluna(45).cientifico(e.Tmed_n));
    f.escrever(Linha().texto("Erro numérico:").coluna(45).cientifico(e.Tmed_a - e.Tmed_n));
}

void secao_deslocamentos(Arquivo_saida& f)
{
    const auto& e = estado;
    f.escrever_vazia();
    f.escrever_vazia();
    cabecalho_de_secao(f, "Soluções para o campo de deslocamentos");
    f.escrever(Linha()
                   .coluna(5)
                   .texto("Posição x")
                   .coluna(30)
                   .texto("Posição y")
                   .coluna(55)
                   .texto("Deslocamento x")
                   .coluna(80)
                   .texto("Deslocamento y"));
    listar_nos([&](std::int32_t ix, std::int32_t iy) {
        const std::size_t k = no(ix, iy);
        f.escrever(Linha().cientifico(e.x[indice(ix)]).cientifico(e.y[indice(iy)]).cientifico(e.u[k]).cientifico(e.v[k]));
    });
}

void secao_tempo(Arquivo_saida& f)
{
    f.escrever_vazia();
    f.escrever_vazia();
    f.escrever(Linha().texto("Tempo de processamento (em segundos):").coluna(45).fixo(estado.tempo));
}

void escrever_linha_media(Arquivo_saida& f, const std::vector<double>& coordenada, std::int32_t n,
                          std::size_t primeiro, std::size_t passo)
{
    const auto& e = estado;
    for (std::int32_t i = 1; i <= n; ++i) {
        const std::size_t k = primeiro + indice(i) * passo;
        f.escrever(Linha().cientifico(coordenada[indice(i)]).cientifico(e.u[k]).cientifico(e.v[k]));
    }
}

} // namespace

void ler_entrada()
{
    if (comando_interrompido(executar_comando("notepad entrada_geral.ent"))) {
        throw Erro_execucao("o editor de entrada_geral.ent foi interrompido (Ctrl-C); a execução parou antes da "
                            "leitura e nenhum arquivo de saída foi criado ou mudado");
    }
    interpretar_entrada(ler_arquivo(arquivo_entrada));
}

void interpretar_entrada(std::string_view conteudo)
{
    // UTF-16 (o "Unicode" do Bloco de Notas): marca FF FE ou FE FF, ou um NUL
    // num dos dois primeiros bytes.
    if (conteudo.starts_with("\xFF\xFE") || conteudo.starts_with("\xFE\xFF") ||
        conteudo.substr(0, 2).find('\0') != std::string_view::npos) {
        throw Erro_execucao("erro de leitura em " + std::string(arquivo_entrada) +
                            ": o arquivo está gravado em UTF-16 (Unicode); grave-o de novo como ANSI ou UTF-8 (no "
                            "Bloco de Notas: Salvar como, Codificação)");
    }
    Leitor_entrada leitor(conteudo);
    int ordem = 0;
    for (const Parametro& p : parametros) {
        ++ordem;
        std::string_view linha;
        if (!leitor.proxima_linha_com_valor(linha)) {
            throw Erro_execucao("erro de leitura em " + std::string(arquivo_entrada) + ": o arquivo terminou (linha " +
                                std::to_string(leitor.numero_linha()) + ") antes do valor de " + p.nome +
                                ", o parâmetro " + std::to_string(ordem) + " de 14");
        }
        ler_parametro(linha, leitor.numero_linha(), p);
    }
}

std::string nome_relatorio_aparado()
{
    const std::string& nome = estado.nome_relatorio;
    constexpr std::string_view vazios(" \t\0", 3);
    const std::size_t inicio = nome.find_first_not_of(vazios);
    if (inicio == std::string::npos) return "";
    const std::size_t fim = nome.find_last_not_of(vazios);
    return nome.substr(inicio, fim - inicio + 1);
}


void preparar_saidas() { saidas_preparadas = std::make_unique<Saidas>(); }

void escrever_relatorio(Arquivo_saida& f)
{
    secao_parametros_fisicos(f);
    secao_parametros_numericos(f);
    secao_normas_iniciais(f);
    secao_problema_termico(f);
    secao_temperaturas(f);
    secao_medias(f);
    secao_deslocamentos(f);
    secao_tempo(f);
}

void escrever_linhas_medias(Arquivo_saida& x_meio, Arquivo_saida& y_meio)
{
    const auto& e = estado;
    const std::int32_t ixc = (e.Nx + 1) / 2;
    const std::int32_t iyc = (e.Ny + 1) / 2;
    escrever_linha_media(x_meio, e.y, e.Ny, no(ixc, 1), static_cast<std::size_t>(e.Nx));
    escrever_linha_media(y_meio, e.x, e.Nx, no(1, iyc), 1);
}

void escrever_resultados()
{
    if (!saidas_preparadas) preparar_saidas();
    const std::unique_ptr<Saidas> s = std::move(saidas_preparadas);
    escrever_relatorio(s->relatorio);
    escrever_linhas_medias(s->x_meio, s->y_meio);
    concluir_juntos({&s->relatorio, &s->x_meio, &s->y_meio});
    progresso::encerrar(); // nada desenhado sobre o editor ou os gráficos
    executar_comando("notepad " + citar_argumento(nome_relatorio_aparado()));
    executar_comando("wgnuplot desl_x_meio.gnu");
    executar_comando("wgnuplot desl_y_meio.gnu");
}

std::uint64_t bytes_previstos_das_saidas()
{
    const auto& e = estado;
    // Linhas fixas do relatório (cabeçalhos, parâmetros, médias, tempo): uns 2,7 kB.
    constexpr std::uint64_t fixos = 2700;
    constexpr std::uint64_t linha_historia = 85 + 2, linha_temperatura = 125 + 2, linha_deslocamento = 100 + 2;
    constexpr std::uint64_t linha_media = 75 + 2;
    const std::uint64_t p = e.passo_hist > 0 ? static_cast<std::uint64_t>(e.passo_hist) : 1;
    const std::uint64_t it = static_cast<std::uint64_t>(std::max(e.it, 0));
    const std::uint64_t historia = it / p + 1 + (it % p != 0);
    const std::uint64_t nos = e.modo_saida == 1   ? static_cast<std::uint64_t>(e.Nx) * static_cast<std::uint64_t>(e.Ny)
                              : e.modo_saida == 2 ? 1
                                                  : 0;
    return fixos + historia * linha_historia + nos * (linha_temperatura + linha_deslocamento) +
           static_cast<std::uint64_t>(e.Nx + e.Ny) * linha_media;
}
