// Leitura de entrada_geral.ent: a tabela de parâmetros conduz o leitor;
// números, nomes e mensagens que dizem arquivo, linha, parâmetro e trecho.
#include "entrada_saida/dados.hpp"

#include "entrada_saida/arquivos.hpp"
#include "entrada_saida/formatacao.hpp"
#include "modelo/erros.hpp"
#include "modelo/variaveis.hpp"
#include "plataforma/comandos.hpp"
#include "plataforma/sistema_de_arquivos.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>

namespace {

const char* const arquivo_entrada = arquivos::entrada;

// Catorze linhas curtas cabem com muita folga; um arquivo maior não é a entrada.
constexpr std::size_t limite_da_entrada = 1 << 20;

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

class Leitor_entrada {
public:
    explicit Leitor_entrada(std::string_view conteudo) : texto_(conteudo)
    {
        if (texto_.starts_with("\xEF\xBB\xBF")) texto_.remove_prefix(3);
        // Sem nenhum LF, CR sozinho termina as linhas (o Mac antigo); com LF,
        // a regra de sempre.
        if (texto_.find('\n') == std::string_view::npos && texto_.find('\r') != std::string_view::npos) fim_ = '\r';
    }

    // Próxima linha que não seja vazia nem só de brancos, sem os brancos iniciais.
    bool proxima_linha_com_valor(std::string_view& linha)
    {
        while (!texto_.empty()) {
            const std::size_t fim = texto_.find(fim_);
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
    char fim_ = '\n';
    int numero_ = 0;
};

[[noreturn]] void erro_leitura(int linha, const Parametro& p, std::string_view valor, const std::string& motivo)
{
    throw Erro_execucao("erro de leitura em " + std::string(arquivo_entrada) + ", linha " + std::to_string(linha) +
                        " (parâmetro " + p.nome + "): " + trecho_citado(valor) + " " + motivo);
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
                estado.nome_relatorio_escrito = ler_nome(linha, numero, p);
                estado.*membro = ajustar_nome(estado.nome_relatorio_escrito);
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

// Um nome que o usuário quis dar à entrada: outras maiúsculas, brancos no
// fim, ou o .txt que o Bloco de Notas acrescenta e o Explorer esconde.
bool parece_a_entrada(std::string nome)
{
    const auto sem_brancos_no_fim = [&] {
        while (!nome.empty() && (nome.back() == ' ' || nome.back() == '\t')) nome.pop_back();
    };
    if (nome == arquivo_entrada) return false;
    for (char& c : nome) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    sem_brancos_no_fim();
    if (nome.ends_with(".txt")) nome.resize(nome.size() - 4);
    sem_brancos_no_fim();
    return nome == arquivo_entrada;
}

std::string entrada_ausente(const char* nome)
{
    std::string texto = std::string("não foi possível abrir o arquivo de entrada ") + nome +
                        ": ele não está na pasta em que o placa2d foi iniciado, \"" + diretorio_de_trabalho() + "\"";
    std::vector<std::string> parecidos;
    for (const Item_diretorio& item : arquivos_comuns(".")) {
        if (parece_a_entrada(item.nome)) parecidos.push_back(item.nome);
    }
    if (parecidos.empty()) {
        return texto + "; rode o placa2d na pasta do seu " + nome + ", ou copie para esta o do exemplo";
    }
    std::sort(parecidos.begin(), parecidos.end());
    texto += "; há nela " + trecho_citado(parecidos.front()) + ", que parece ser ele com outro nome: renomeie-o para " + nome;
#ifdef _WIN32
    texto += " (o Explorer esconde extensões como .txt: marque Exibir > Extensões de nomes de arquivos, no Windows "
             "11 em Exibir > Mostrar, e renomeie)";
#endif
    return texto;
}

std::string ler_arquivo(const char* nome)
{
    const std::string inicio = std::string("o arquivo de entrada ") + nome + " no diretório de trabalho ";
    const std::string exemplo = std::string(" (o exemplo está em exemplo/") + nome + ")";
    const Arquivo_lido lido = ler_arquivo_comum(nome, limite_da_entrada);
#ifdef ELOOP
    if (lido.erro == ELOOP) {
        throw Erro_execucao(inicio + "é uma ligação simbólica em ciclo (aponta, direta ou indiretamente, para si "
                                     "mesma); apague-a e ponha no lugar o arquivo de entrada");
    }
#endif
    if (lido.erro == ENOENT || lido.erro == ENOTDIR) throw Erro_execucao(entrada_ausente(nome));
    if (lido.erro == EACCES) {
        throw Erro_execucao(std::string("não foi possível abrir ") + inicio + "(\"" + diretorio_de_trabalho() +
                            "\"): sem permissão de leitura (no Linux: chmod u+r " + nome + ")");
    }
    if (lido.erro != 0) {
        throw Erro_execucao(std::string("falha ao ler o arquivo de entrada ") + nome + ": " + motivo_da_falha(lido.erro));
    }
    if (lido.tipo == Tipo_arquivo::diretorio) {
        throw Erro_execucao(inicio + "é um diretório; ponha no lugar dele o arquivo de texto com os catorze " +
                            "parâmetros" + exemplo);
    }
    if (lido.tipo != Tipo_arquivo::regular) {
        throw Erro_execucao(inicio + "não é um arquivo comum, é " + o_que_e(lido.tipo) +
                            "; ponha no lugar dele o arquivo de texto com os catorze parâmetros" + exemplo);
    }
    if (lido.grande_demais) {
        throw Erro_execucao(inicio + "tem mais de 1 MiB, e a entrada são catorze linhas curtas: não é o arquivo "
                                     "de entrada; ponha no lugar dele o arquivo de texto com os catorze parâmetros" +
                            exemplo);
    }
    return lido.conteudo;
}

} // namespace

void ler_entrada()
{
    if (comando_interrompido(executar_comando(std::string("notepad ") + arquivo_entrada))) {
        throw Erro_execucao(std::string("o editor de ") + arquivo_entrada +
                            " foi interrompido (Ctrl-C); a execução parou antes da leitura e nenhum arquivo de saída "
                            "foi criado ou mudado");
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
    estado.nome_relatorio_escrito.clear();
    Leitor_entrada leitor(conteudo);
    int ordem = 0;
    for (const Parametro& p : parametros) {
        ++ordem;
        std::string_view linha;
        if (!leitor.proxima_linha_com_valor(linha)) {
            throw Erro_execucao("erro de leitura em " + std::string(arquivo_entrada) + ": o arquivo terminou (linha " +
                                std::to_string(leitor.numero_linha()) + ") antes do valor de " + p.nome +
                                ", o parâmetro " + std::to_string(ordem) + " de " +
                                std::to_string(std::size(parametros)));
        }
        ler_parametro(linha, leitor.numero_linha(), p);
    }
}

namespace {

std::string aparado(std::string_view nome)
{
    constexpr std::string_view vazios(" \t\0", 3);
    const std::size_t inicio = nome.find_first_not_of(vazios);
    if (inicio == std::string::npos) return "";
    const std::size_t fim = nome.find_last_not_of(vazios);
    return std::string(nome.substr(inicio, fim - inicio + 1));
}

} // namespace

std::string nome_relatorio_aparado()
{
    const std::string nome = aparado(estado.nome_relatorio);
    const std::string& escrito = estado.nome_relatorio_escrito;
    return nome_do_sistema(nome, escrito.empty() ? nome : escrito);
}

std::string aviso_do_nome_cortado()
{
    const std::string& escrito = estado.nome_relatorio_escrito;
    if (escrito.empty() || aparado(escrito) == aparado(estado.nome_relatorio)) return "";
    return "o nome do relatório na linha 1 de " + std::string(arquivo_entrada) + " passa de " +
           std::to_string(tamanho_nome_relatorio) + " caracteres e só os " + std::to_string(tamanho_nome_relatorio) +
           " primeiros valem: o relatório foi gravado em \"" + nome_relatorio_aparado() + "\"";
}
